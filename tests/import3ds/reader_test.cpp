#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "import3ds/chunk_writer.h"
#include "import3ds/model3ds.h"
#include "model/globals.h"
#include "test_support.h"

namespace {

using namespace chunk3ds;

class ReaderTest : public testing::Test {
  protected:
    // import3DS on a file holding `bytes`, with normals.
    Outcome load(const std::string& bytes) {
        path_ = dir_.write("model.3ds", bytes);
        return captureRun([&] { return import3DS(model_, path_.c_str(), 1); });
    }
    std::string reading() const { return "\n Reading " + path_ + "...\n"; }
    std::string damaged(const std::string& detail) const {
        return reading() + " Damaged 3DS file " + path_ + ": " + detail + "\n";
    }

    TempDir dir_;
    std::string path_;
    Model3DS model_;
};

void expectPoint(Point3f actual, Point3f expected) {
    EXPECT_FLOAT_EQ(actual.x, expected.x);
    EXPECT_FLOAT_EQ(actual.y, expected.y);
    EXPECT_FLOAT_EQ(actual.z, expected.z);
}

// An unknown chunk whose content looks like chunks, to be stepped over whole.
Chunk unknown(std::uint16_t id) {
    return Chunk(id).raw(Chunk(0x4110).word(9999).bytes());
}

TEST_F(ReaderTest, ReadsMeshesMaterialsCamerasAndLights) {
    Chunk quad =
        mesh("Quad", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}, "Green");
    quad.add(unknown(0x4010));  // inside the object

    Chunk textured(0xAFFF);
    textured.add(Chunk(0xA000).name("Wood"))
        .add(Chunk(0xA040).add(Chunk(0x0030).word(50)))  // shininess, unknown here
        .add(Chunk(0xA020).add(byteColour(120, 80, 40)).add(Chunk(0x0012).byte(1).byte(2).byte(3)))
        .add(Chunk(0xA200).add(Chunk(0x0030).word(100)).add(Chunk(0xA300).name("wood.png")));

    // One face, then the smoothing groups (unknown here) and the face-material list nested in
    // the face list.
    Chunk plankFaces(0x4120);
    plankFaces.word(1).word(0).word(1).word(2).word(0);
    plankFaces.add(Chunk(0x4150).dword(1)).add(Chunk(0x4130).name("Wood").word(1).word(0));
    Chunk plank(0x4000);
    plank.name("Plank").add(
        Chunk(0x4100)
            .add(Chunk(0x4160).raw(std::string(48, '\x7f')))  // local axes, unknown here
            .add(Chunk(0x4110).word(3).point({0, 0, 1}).point({2, 0, 1}).point({0, 2, 1}))
            .add(Chunk(0x4140).word(3).real(0).real(0).real(1).real(0).real(0).real(1))
            .add(plankFaces));

    Chunk file = model({
        material("Red", byteColour(255, 0, 0)),
        material("Green", floatColour(0.2f, 0.6f, 1.5f)),
        textured,
        unknown(0x7777),
        quad,
        strip("Bare", 3, ""),
        plank,
        camera("Cam", {10, -10, 5}, {0, 0, 1}, 35, 12.5f),
        light("Spot", {1, 2, 3},
              {floatColour(0.5f, 0.25f, 1), byteColour(9, 8, 7), unknown(0x4659),
               Chunk(0x4610).point({0, 0, 0}).real(20).real(30), Chunk(0x4620).byte(1)}),
        light("Lamp", {-1, -2, -3}, {byteColour(200, 100, 50), gammaByteColour(1, 2, 3)}),
        light("Glow", {0, 0, 9}, {gammaByteColour(51, 0, 255)}),
    });
    file.add(unknown(0x1234)).add(Chunk(0xB000).add(Chunk(0xB002).raw("keyframes")));

    const Outcome outcome = load(file.bytes());
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.output, reading() + " Computing normals...\n");

    ASSERT_EQ(model_.materials.size(), 3u);
    EXPECT_EQ(model_.materials[0].name, "Red");
    const std::uint8_t floatsAsBytes[3] = {51, 153, 255};  // 0.2, 0.6 and 1.5 (held to 1)
    const std::uint8_t wood[3] = {120, 80, 40};            // the gamma-corrected copy is ignored
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(model_.materials[1].colour[c], floatsAsBytes[c]);
        EXPECT_EQ(model_.materials[2].colour[c], wood[c]);
    }
    EXPECT_EQ(model_.materials[2].name, "Wood");
    EXPECT_EQ(model_.materials[2].textureFile, "wood.png");

    ASSERT_EQ(model_.objects.size(), 7u);  // cameras and lights are named objects too
    const Object3DS& q = model_.objects[0];
    EXPECT_EQ(q.name, "Quad");
    EXPECT_EQ(q.materialId, 1);
    EXPECT_FALSE(q.hasTexture);
    ASSERT_EQ(q.verts.size(), 4u);
    expectPoint(q.verts[2], {1, 1, 0});
    ASSERT_EQ(q.faces.size(), 2u);
    EXPECT_EQ(q.faces[1].vertIndex[0], 0);
    EXPECT_EQ(q.faces[1].vertIndex[1], 2);
    EXPECT_EQ(q.faces[1].vertIndex[2], 3);
    ASSERT_EQ(q.normals.size(), 4u);

    EXPECT_EQ(model_.objects[1].name, "Bare");
    EXPECT_EQ(model_.objects[1].materialId, 0) << "a mesh without a face-material list";
    EXPECT_FALSE(model_.objects[1].hasMaterial);
    EXPECT_TRUE(q.hasMaterial);
    EXPECT_EQ(model_.objects[1].faces.size(), 3u);

    const Object3DS& p = model_.objects[2];
    EXPECT_EQ(p.materialId, 2);
    EXPECT_TRUE(p.hasTexture);
    ASSERT_EQ(p.texVerts.size(), 3u);
    EXPECT_FLOAT_EQ(p.texVerts[1].u, 1);
    EXPECT_FLOAT_EQ(p.texVerts[2].v, 1);
    ASSERT_EQ(p.faces.size(), 1u);
    expectPoint(p.verts[1], {2, 0, 1});

    ASSERT_EQ(model_.cameras.size(), 1u);
    expectPoint(model_.cameras[0].position, {10, -10, 5});
    expectPoint(model_.cameras[0].target, {0, 0, 1});
    EXPECT_FLOAT_EQ(model_.cameras[0].bankAngle, 12.5f);
    EXPECT_FLOAT_EQ(model_.cameras[0].lens, 35);

    ASSERT_EQ(model_.lights.size(), 3u);
    const Light3DS& spot = model_.lights[0];
    expectPoint(spot.position, {1, 2, 3});
    EXPECT_FLOAT_EQ(spot.colour[1], 0.25f) << "the float colour wins over the byte one";
    EXPECT_EQ(spot.colour24[0], 9);
    EXPECT_EQ(spot.spot, 1);
    EXPECT_FLOAT_EQ(spot.hotspot, 20);
    EXPECT_FLOAT_EQ(spot.falloff, 30);
    EXPECT_EQ(spot.off, 1);
    EXPECT_FLOAT_EQ(spot.multiplier, 1);
    const Light3DS& lamp = model_.lights[1];
    EXPECT_EQ(lamp.spot, 0);
    // Bytes over 255, from the first byte chunk: the gamma-corrected copy after it is ignored.
    EXPECT_EQ(lamp.colour24[1], 100);
    const float lampColour[3] = {200 / 255.0f, 100 / 255.0f, 50 / 255.0f};
    const float glowColour[3] = {51 / 255.0f, 0, 1};  // given only gamma-corrected
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(lamp.colour[c], lampColour[c]);
        EXPECT_EQ(model_.lights[2].colour[c], glowColour[c]);
    }
}

TEST_F(ReaderTest, FilesThatAreNotThreeDsModels) {
    const std::string missing = dir_.path().string() + "/absent.3ds";
    const Outcome absent = captureRun([&] { return import3DS(model_, missing.c_str(), 1); });
    EXPECT_EQ(absent.status, 0);
    EXPECT_EQ(absent.output, " Unable to find the file: " + missing + "!\n");

    for (const std::string& bytes :
         {std::string(), std::string("MM"), std::string("\x4d\x4d\x10\x00", 4),
          Chunk(0x3D3D).bytes(), std::string("P3\n2 2\n255\n")}) {
        const Outcome outcome = load(bytes);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.output, "  Unable to load PRIMARY chuck from file: " + path_ + "!\n");
    }
}

TEST_F(ReaderTest, VersionsAboveThreeAreWarnedAbout) {
    const std::string warning = " This 3DS file is over version 3 so it may load incorrectly\n";
    const struct {
        std::uint32_t version;
        bool warned;
    } cases[] = {{0, false}, {3, false}, {4, true}, {0x00010003, false}, {0xFFFF, true}};
    for (const auto& c : cases) {
        const Outcome outcome = load(model({strip("S", 1, "")}, c.version).bytes());
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.output, reading() + (c.warned ? warning : "") + " Computing normals...\n")
            << c.version;
        EXPECT_EQ(model_.objects.size(), 1u) << "loading goes on after the warning";
    }
}

TEST_F(ReaderTest, FaceMaterialListsChooseTheMaterialByName) {
    Chunk twice = strip("Twice", 1, "Blue");
    twice.add(Chunk(0x4130).name("Red").word(0));  // the last list decides
    Chunk twiceUnknown = strip("ThenUnknown", 1, "Blue");
    twiceUnknown.add(Chunk(0x4130).name("Purple").word(0));
    const Chunk file = model({
        material("Red", byteColour(255, 0, 0)),
        material("Blue", byteColour(0, 0, 255)),
        material("Blue", byteColour(0, 0, 128)),  // a second material of the same name
        strip("Named", 1, "Blue"),
        strip("Unknown", 1, "Purple"),
        strip("CaseDiffers", 1, "blue"),
        twice,
        twiceUnknown,
    });
    ASSERT_EQ(load(file.bytes()).status, 1);
    const int expected[] = {1, 0, 0, 0, 1};
    ASSERT_EQ(model_.objects.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(model_.objects[i].materialId, expected[i]) << model_.objects[i].name;
    }
}

TEST_F(ReaderTest, EditorChunkWithoutMeshVersionKeepsItsFirstChild) {
    const Chunk file = Chunk(0x4D4D).add(
        Chunk(0x3D3D).add(material("First", byteColour(1, 2, 3))).add(strip("S", 2, "First")));
    ASSERT_EQ(load(file.bytes()).status, 1);
    ASSERT_EQ(model_.materials.size(), 1u);
    EXPECT_EQ(model_.materials[0].name, "First");
    EXPECT_EQ(model_.objects.size(), 1u);
}

TEST_F(ReaderTest, LongNamesAreCut) {
    const std::string longName(300, 'n');
    const std::string cut(kMaxNameLength3DS, 'n');
    Chunk textured = material(longName, byteColour(7, 7, 7));
    textured.add(Chunk(0xA200).add(Chunk(0xA300).name(std::string(400, 't'))));
    const Chunk file = model({textured, strip(longName, 1, longName)});
    ASSERT_EQ(load(file.bytes()).status, 1);
    EXPECT_EQ(model_.materials[0].name, cut);
    EXPECT_EQ(model_.materials[0].textureFile, std::string(kMaxNameLength3DS, 't'));
    EXPECT_EQ(model_.objects[0].name, cut);
    EXPECT_EQ(model_.objects[0].materialId, 0);
    EXPECT_TRUE(model_.objects[0].hasTexture) << "the cut names still match";
}

TEST_F(ReaderTest, VertexNormalsSumTheFacesAroundEachVertex) {
    // A fold along the x axis: a face in the plane z = 0 (normal +z, area 1/2) and a face in
    // the plane y = 0 (normal -y, area 1), wound counter-clockwise from outside. Vertex 4
    // belongs to no face. The sheet is one triangle wound both ways: its vertices have no side.
    const Chunk file =
        model({mesh("Fold", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 2}, {5, 5, 5}},
                    {{0, 1, 2}, {0, 1, 3}}),
               mesh("Sheet", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 1}})});
    ASSERT_EQ(load(file.bytes()).status, 1);
    const LargePageVector<Point3f>& n = model_.objects[0].normals;
    ASSERT_EQ(n.size(), 5u);
    // Shared edge: the face normals weighted by twice their areas, (0, 0, 1) + (0, -2, 0).
    const float s = 1 / std::sqrt(5.0f);
    expectPoint(n[0], {0, -2 * s, s});
    expectPoint(n[1], {0, -2 * s, s});
    expectPoint(n[2], {0, 0, 1});
    expectPoint(n[3], {0, -1, 0});
    expectPoint(n[4], {0, 0, 0});
    for (const Point3f& sheet : model_.objects[1].normals) expectPoint(sheet, {0, 0, 0});
}

// The object "M" holding a triangle mesh made of `children`. Offsets: main chunk 0, editor 6,
// object 12, mesh 20, the mesh's first child 26.
Chunk inMesh(std::initializer_list<Chunk> children) {
    Chunk mesh(0x4100);
    for (const Chunk& child : children) mesh.add(child);
    return Chunk(0x4D4D).add(Chunk(0x3D3D).add(Chunk(0x4000).name("M").add(mesh)));
}

// Sets the length field of the chunk whose header is at `offset`.
std::string withLength(std::string bytes, std::size_t offset, std::uint32_t length) {
    for (int i = 0; i < 4; ++i) bytes[offset + 2 + i] = static_cast<char>(length >> 8 * i);
    return bytes;
}

// Hand-made damage, each with the report it deserves.
TEST_F(ReaderTest, DamagedFilesAreReportedWithWhatIsWrong) {
    const Chunk triangle = Chunk(0x4110).word(3).point({0, 0, 0}).point({1, 0, 0}).point({0, 1, 0});
    const Chunk facesBeyond =
        Chunk(0x4120).word(2).word(0).word(1).word(2).word(0).word(0).word(2).word(3).word(0);

    // Three bytes after the mesh's last child: the main chunk, the editor, the object and
    // the mesh all grow by them.
    std::string stray = inMesh({Chunk(0x9999)}).bytes() + "xyz";
    for (const std::size_t lengthAt : {2, 8, 14, 22}) stray[lengthAt] += 3;

    Chunk nested(0xA200);
    for (int i = 0; i < 70; ++i) nested = Chunk(0xA200).add(nested);

    const struct {
        const char* what;
        std::string bytes;
        std::string detail;
    } cases[] = {
        {"vertex count past its chunk", inMesh({Chunk(0x4110).word(40).point({0, 0, 0})}).bytes(),
         "chunk 0x4110 at byte 26 ends before its 40 vertices"},
        {"face count past its chunk",
         inMesh({Chunk(0x4120).word(2).word(0).word(0).word(0).word(0)}).bytes(),
         "chunk 0x4120 at byte 26 ends before its 2 faces"},
        {"texture count past its chunk", inMesh({Chunk(0x4140).word(1).real(0)}).bytes(),
         "chunk 0x4140 at byte 26 ends before its 1 texture coordinates"},
        {"no room for a count", inMesh({Chunk(0x4110).byte(1)}).bytes(),
         "chunk 0x4110 at byte 26 ends before its count"},
        {"object name without its zero",
         Chunk(0x4D4D).add(Chunk(0x3D3D).add(Chunk(0x4000).raw("Mesh"))).bytes(),
         "chunk 0x4000 at byte 12 has a name without its terminating zero"},
        {"face material name without its zero", inMesh({Chunk(0x4130).raw("Red")}).bytes(),
         "chunk 0x4130 at byte 26 has a name without its terminating zero"},
        {"vertex index out of range (faces before vertices)",
         inMesh({facesBeyond, triangle}).bytes(),
         "face 1 of object \"M\" uses vertex 3, but the object has 3 vertices"},
        {"faces without vertices",
         inMesh({Chunk(0x4120).word(1).word(0).word(0).word(0).word(0)}).bytes(),
         "face 0 of object \"M\" uses vertex 0, but the object has 0 vertices"},
        {"chunk shorter than its header", withLength(inMesh({Chunk(0x4110)}).bytes(), 26, 5),
         "chunk 0x4110 at byte 26 claims 5 bytes, fewer than its header"},
        {"chunk longer than its parent",
         withLength(inMesh({Chunk(0x9999).raw("abc")}).bytes(), 26, 10),
         "chunk 0x9999 at byte 26 claims 10 bytes, but its parent chunk 0x4100 has only 9 left"},
        {"stray bytes after the last child", stray,
         "chunk 0x4100 at byte 20 has 3 stray bytes at byte 32, too few for a chunk header"},
        {"camera cut short", inMesh({Chunk(0x4700).real(1).real(2)}).bytes(),
         "chunk 0x4700 at byte 26 ends before its camera"},
        {"light without its position", inMesh({Chunk(0x4600).real(1)}).bytes(),
         "chunk 0x4600 at byte 26 ends before its light position"},
        {"light colour cut short",
         inMesh({Chunk(0x4600).point({0, 0, 0}).add(Chunk(0x0010).real(1))}).bytes(),
         "chunk 0x0010 at byte 44 ends before its colour"},
        {"diffuse colour without a colour chunk",
         Chunk(0x4D4D).add(Chunk(0xAFFF).add(Chunk(0xA020))).bytes(),
         "chunk 0xA020 at byte 12 holds no colour chunk"},
        {"diffuse float colour cut short",
         Chunk(0x4D4D).add(Chunk(0xAFFF).add(Chunk(0xA020).add(Chunk(0x0013).real(1)))).bytes(),
         "chunk 0x0013 at byte 18 ends before its colour"},
        {"version without its number", Chunk(0x4D4D).add(Chunk(0x0002).word(3)).bytes(),
         "chunk 0x0002 at byte 6 ends before its version number"},
        {"main chunk shorter than its header", withLength(Chunk(0x4D4D).bytes(), 0, 2),
         "its main chunk claims 2 bytes, fewer than its header"},
        {"chunks nested without end", Chunk(0x4D4D).add(Chunk(0xAFFF).add(nested)).bytes(),
         "chunk 0xA200 at byte 390 is nested more than 64 chunks deep"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome outcome = load(c.bytes);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.output, damaged(c.detail));
        EXPECT_TRUE(model_.objects.empty() && model_.materials.empty())
            << "a damaged file leaves no half-read model";
    }
}

// A model with a bit of everything the reader reads, to be damaged in every way below.
Chunk sampleModel() {
    Chunk file = model({
        material("Red", byteColour(255, 0, 0)),
        material("Green", floatColour(0, 1, 0)),
        strip("A", 3, "Red"),
        strip("B", 2, "Green"),
        camera("Cam", {5, 5, 5}, {0, 0, 0}, 50),
        light("Lamp", {0, 0, 9},
              {floatColour(1, 1, 1), Chunk(0x4610).point({0, 0, 0}).real(1).real(2)}),
    });
    file.add(Chunk(0xB000).raw("keyframer"));
    return file;
}

TEST_F(ReaderTest, FilesCutShortAnywhereAreReported) {
    const std::string whole = sampleModel().bytes();
    for (std::size_t size = 0; size < whole.size(); ++size) {
        const Outcome outcome = load(whole.substr(0, size));
        ASSERT_EQ(outcome.status, 0) << size;
        if (size < 6) {
            EXPECT_EQ(outcome.output, "  Unable to load PRIMARY chuck from file: " + path_ + "!\n");
        } else {
            EXPECT_EQ(outcome.output, damaged("it ends at byte " + std::to_string(size) +
                                              ", but its main chunk claims " +
                                              std::to_string(whole.size()) + " bytes"));
        }
    }
}

// A file of several megabytes is read in pieces and its meshes' arrays are decoded, each on
// a thread of its own; the model is the one a single thread reads.
TEST_F(ReaderTest, LargeFilesReadOnSeveralThreadsGiveTheSameModel) {
    const Chunk file = model({strip("A", 60000, ""), strip("B", 60000, "", 1),
                              strip("C", 60000, "", 2), strip("D", 60000, "", 3)});
    const std::string bytes = file.bytes();
    ASSERT_GT(bytes.size(), std::size_t{4} << 20);  // pieces for four threads at least
    const auto loaded = [&](int threads) {
        multiThreaded = threads > 1;
        numThreads = threads;
        const Outcome outcome = load(bytes);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.output, reading() + " Computing normals...\n");
        return std::move(model_);
    };
    const Model3DS alone = loaded(1);
    ASSERT_EQ(alone.objects.size(), 4u);
    using Bits = std::array<std::uint32_t, 3>;
    for (const int threads : {2, 3, 8}) {
        const Model3DS shared = loaded(threads);
        ASSERT_EQ(shared.objects.size(), alone.objects.size()) << threads << " threads";
        for (std::size_t k = 0; k < alone.objects.size(); ++k) {
            const Object3DS& expected = alone.objects[k];
            const Object3DS& actual = shared.objects[k];
            ASSERT_EQ(actual.verts.size(), expected.verts.size());
            ASSERT_EQ(actual.faces.size(), expected.faces.size());
            for (std::size_t v = 0; v < expected.verts.size(); ++v) {
                ASSERT_EQ(std::bit_cast<Bits>(actual.verts[v]),
                          std::bit_cast<Bits>(expected.verts[v]));
            }
            for (std::size_t f = 0; f < expected.faces.size(); ++f) {
                ASSERT_TRUE(std::equal(std::begin(actual.faces[f].vertIndex),
                                       std::end(actual.faces[f].vertIndex),
                                       std::begin(expected.faces[f].vertIndex)));
            }
        }
    }
    multiThreaded = false;
    numThreads = 2;
}

TEST_F(ReaderTest, LengthsThatDoNotFitTheirParentAreReported) {
    const Chunk file = sampleModel();
    const std::string whole = file.bytes();
    int corrupted = 0;
    for (const Chunk::Span& span : file.layout()) {
        // A length below the header's own size, one byte more than the parent has left, and
        // the largest length there is.
        for (const std::uint32_t length : {0u, 5u, span.room + 1, 0xFFFFFFFFu}) {
            const Outcome outcome = load(withLength(whole, span.offset, length));
            SCOPED_TRACE(testing::Message()
                         << "chunk at " << span.offset << " of length " << length);
            EXPECT_EQ(outcome.status, 0);
            EXPECT_TRUE(outcome.output.starts_with(reading() + " Damaged 3DS file " + path_ + ": "))
                << outcome.output;
            EXPECT_TRUE(outcome.output.ends_with("\n"));
            ++corrupted;
        }
    }
    EXPECT_GT(corrupted, 100);
}

// Random bytes overwritten anywhere: the load either succeeds with a consistent model or
// reports the damage; it never reads past the file (the sanitizer build checks that).
TEST_F(ReaderTest, RandomDamageIsLoadedConsistentlyOrReported) {
    const std::string whole = sampleModel().bytes();
    std::mt19937 random(3);
    std::uniform_int_distribution<std::size_t> offset(0, whole.size() - 1);
    std::uniform_int_distribution<int> value(0, 255);
    int loaded = 0, reported = 0;
    for (int trial = 0; trial < 400; ++trial) {
        std::string bytes = whole;
        for (int flips = 1 + trial % 4; flips > 0; --flips) {
            bytes[offset(random)] = static_cast<char>(value(random));
        }
        const Outcome outcome = load(bytes);
        if (outcome.status == 1) {
            ++loaded;
            for (const Object3DS& object : model_.objects) {
                ASSERT_EQ(object.normals.size(), object.verts.size());
                for (const Face3DS& face : object.faces) {
                    for (int index : face.vertIndex) {
                        ASSERT_LT(static_cast<std::size_t>(index), object.verts.size());
                    }
                }
            }
        } else {
            ++reported;
            EXPECT_EQ(outcome.status, 0);
            EXPECT_TRUE(outcome.output.find(" Damaged 3DS file " + path_ + ": ") !=
                            std::string::npos ||
                        outcome.output.find("PRIMARY") != std::string::npos)
                << outcome.output;
        }
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(reported, 0);
}

}  // namespace
