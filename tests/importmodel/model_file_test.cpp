#include "importmodel/model_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "importmodel/model_writers.h"
#include "test_support.h"

namespace {

struct Extent {
    float low[3] = {1e30f, 1e30f, 1e30f};
    float high[3] = {-1e30f, -1e30f, -1e30f};
};

Extent extentOf(const Model3DS& model) {
    Extent e;
    for (const Object3DS& object : model.objects) {
        for (const Point3f& p : object.verts) {
            const float c[3] = {p.x, p.y, p.z};
            for (int i = 0; i < 3; ++i) {
                e.low[i] = std::min(e.low[i], c[i]);
                e.high[i] = std::max(e.high[i], c[i]);
            }
        }
    }
    return e;
}

std::size_t faceCount(const Model3DS& model) {
    std::size_t count = 0;
    for (const Object3DS& object : model.objects) count += object.faces.size();
    return count;
}

TEST(ModelFile, ReadsTheCubeInEveryFormat) {
    const TempDir dir;
    dir.write("cube.mtl", cube::objMaterial("0.2 0.4 0.6"));
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"cube.obj", cube::obj()},        {"cube.ply", cube::plyAscii()},
        {"binary.ply", cube::plyBinary()}, {"cube.stl", cube::stlAscii()},
        {"cube.gltf", cube::gltf()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Model3DS model;
        ASSERT_EQ(importModelFile(dir.write(c.name, c.content), model), "");
        EXPECT_EQ(faceCount(model), 12u);
        const Extent e = extentOf(model);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(e.low[i], -1) << "axis " << i;
            EXPECT_EQ(e.high[i], 1) << "axis " << i;
        }
        // Every face names a corner of its own mesh.
        for (const Object3DS& object : model.objects) {
            for (const Face3DS& face : object.faces) {
                for (int k : face.vertIndex) {
                    EXPECT_LT(static_cast<std::size_t>(k), object.verts.size());
                }
            }
        }
    }
}

TEST(ModelFile, TakesTheMaterialsDiffuseColourAndTheNodesPlacement) {
    const TempDir dir;
    dir.write("cube.mtl", cube::objMaterial("0.2 0.4 0.6"));
    Model3DS model;
    ASSERT_EQ(importModelFile(dir.write("cube.obj", cube::obj()), model), "");
    ASSERT_EQ(model.objects.size(), 1u);
    const auto id = static_cast<std::size_t>(model.objects[0].materialId);
    ASSERT_LT(id, model.materials.size());
    EXPECT_EQ(model.materials[id].colour[0], 51);
    EXPECT_EQ(model.materials[id].colour[1], 102);
    EXPECT_EQ(model.materials[id].colour[2], 153);

    ASSERT_EQ(importModelFile(dir.write("moved.gltf", cube::gltf("5, 0, -2")), model), "");
    const Extent e = extentOf(model);
    EXPECT_EQ(e.low[0], 4);
    EXPECT_EQ(e.high[0], 6);
    EXPECT_EQ(e.low[2], -3);
    EXPECT_EQ(e.high[2], -1);
}

// A PLY header cut short in its second element makes assimp 5.2.5 loop for ever: the child
// is stopped at its time limit, here one second.
TEST(ModelFile, AnImportThatRunsOnIsStoppedAtItsTimeLimit) {
    const TempDir dir;
    const std::string path = dir.write("hang.ply", cube::plyBinary().substr(0, 112));
    Model3DS model;
    EXPECT_EQ(importModelFile(path, model, 1),
              "the file is damaged: reading it took more than 1 seconds");
    EXPECT_TRUE(model.objects.empty());
}

// The binary cube with its last face's last index raised to 8, past the last vertex.
std::string badIndex(std::string ply) {
    ply[ply.size() - 4] = 8;
    return ply;
}

// Whatever is wrong with the file, the answer is a reason and an empty model.
TEST(ModelFile, BadFilesGiveAReason) {
    const TempDir dir;
    const std::string ply = cube::plyBinary();
    const struct {
        const char* what;
        std::string path;
        const char* reason;  // a part of it
    } cases[] = {
        {"missing", (dir.path() / "none.obj").string(), "Unable to open file"},
        {"unknown format", dir.write("notes.xyz", "hello\n"), "No suitable reader"},
        // assimp 5.2.5 crashes on this one, in the child process.
        {"truncated binary PLY", dir.write("cut.ply", ply.substr(0, ply.size() - 30)),
         "the importer crashed on it"},
        {"a face naming vertex 8 of 8", dir.write("index.ply", badIndex(ply)),
         "a face names a vertex its mesh lacks"},
        {"not a PLY at all", dir.write("noise.ply", "plx\n\x01\x02\x03"), "magic number"},
        {"no faces", dir.write("points.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n"), "no faces"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Model3DS model;
        model.objects.resize(1);
        const std::string reason = importModelFile(c.path, model);
        EXPECT_FALSE(reason.empty());
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        EXPECT_TRUE(model.objects.empty());
    }
}

}  // namespace
