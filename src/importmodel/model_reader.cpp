// The reader of every model format but 3DS (OBJ, PLY, STL, glTF, FBX, Collada...), built on
// the assimp library. It is a module of its own, loaded only by the process that imports a
// model: the programs start without loading that library and what it depends on, which takes
// several times longer than starting the program itself.

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "import3ds/model3ds.h"
#include "importmodel/model_reader.h"

namespace {

Point3f narrow(const aiVector3D& v) {
    return {v.x, v.y, v.z};
}

std::uint8_t colourByte(float c) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(c, 0.0f, 1.0f) * 255));
}

void addMaterials(const aiScene& scene, Model3DS& model) {
    for (unsigned i = 0; i < scene.mNumMaterials; ++i) {
        Material3DS material;
        aiColor4D diffuse(0, 0, 0, 1);
        scene.mMaterials[i]->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse);
        material.colour[0] = colourByte(diffuse.r);
        material.colour[1] = colourByte(diffuse.g);
        material.colour[2] = colourByte(diffuse.b);
        model.materials.push_back(material);
    }
}

// One mesh as placed by `placement`: its triangles (points and lines were dropped on reading)
// and, when it has them, its normals turned by the placement's inverse transpose.
Object3DS placedMesh(const aiMesh& mesh, const aiMatrix4x4& placement) {
    Object3DS object;
    object.name = mesh.mName.C_Str();
    object.materialId = static_cast<int>(mesh.mMaterialIndex);
    object.verts.reserve(mesh.mNumVertices);
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
        object.verts.push_back(narrow(placement * mesh.mVertices[v]));
    }
    if (mesh.HasNormals()) {
        const aiMatrix3x3 turn = aiMatrix3x3(placement).Inverse().Transpose();
        object.normals.reserve(mesh.mNumVertices);
        for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
            object.normals.push_back(narrow((turn * mesh.mNormals[v]).NormalizeSafe()));
        }
    }
    object.faces.reserve(mesh.mNumFaces);
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        if (face.mNumIndices != 3) continue;
        Face3DS triangle{};
        for (int k = 0; k < 3; ++k) triangle.vertIndex[k] = static_cast<int>(face.mIndices[k]);
        object.faces.push_back(triangle);
    }
    return object;
}

// The importer takes some damaged files (a bit-flipped binary PLY) without noticing that a
// face names a vertex its mesh lacks.
bool facesNameTheirVertices(const Object3DS& object) {
    for (const Face3DS& face : object.faces) {
        for (int k : face.vertIndex) {
            if (k < 0 || static_cast<std::size_t>(k) >= object.verts.size()) return false;
        }
    }
    return true;
}

void addNodeMeshes(const aiScene& scene, const aiNode& node, const aiMatrix4x4& parent,
                   Model3DS& model) {
    const aiMatrix4x4 placement = parent * node.mTransformation;
    for (unsigned i = 0; i < node.mNumMeshes; ++i) {
        Object3DS object = placedMesh(*scene.mMeshes[node.mMeshes[i]], placement);
        object.hasMaterial = static_cast<std::size_t>(object.materialId) < model.materials.size();
        if (!object.faces.empty()) model.objects.push_back(std::move(object));
    }
    for (unsigned i = 0; i < node.mNumChildren; ++i) {
        addNodeMeshes(scene, *node.mChildren[i], placement, model);
    }
}

// Where the node of that name places what it holds; identity when no node has the name.
aiMatrix4x4 placementOf(const aiScene& scene, const aiString& name) {
    aiMatrix4x4 placement;
    for (const aiNode* node = scene.mRootNode->FindNode(name); node != nullptr;
         node = node->mParent) {
        placement = node->mTransformation * placement;
    }
    return placement;
}

// A camera's lens in millimetres, as a 3DS camera gives it, from its horizontal half angle:
// the lens whose 36 mm wide frame sees that angle.
float lensOf(const aiCamera& camera) {
    return 18.0f / std::tan(camera.mHorizontalFOV);
}

void addCameras(const aiScene& scene, Model3DS& model) {
    for (unsigned i = 0; i < scene.mNumCameras; ++i) {
        const aiCamera& camera = *scene.mCameras[i];
        const aiMatrix4x4 placement = placementOf(scene, camera.mName);
        Camera3DS placed;
        placed.position = narrow(placement * camera.mPosition);
        placed.target = narrow(placement * (camera.mPosition + camera.mLookAt));
        placed.lens = lensOf(camera);
        model.cameras.push_back(placed);
    }
}

void addLights(const aiScene& scene, Model3DS& model) {
    for (unsigned i = 0; i < scene.mNumLights; ++i) {
        const aiLight& light = *scene.mLights[i];
        if (light.mType != aiLightSource_POINT && light.mType != aiLightSource_SPOT) continue;
        Light3DS placed;
        placed.position = narrow(placementOf(scene, light.mName) * light.mPosition);
        const float brightest = std::max({light.mColorDiffuse.r, light.mColorDiffuse.g,
                                          light.mColorDiffuse.b, 1.0f});
        placed.colour[0] = light.mColorDiffuse.r / brightest;
        placed.colour[1] = light.mColorDiffuse.g / brightest;
        placed.colour[2] = light.mColorDiffuse.b / brightest;
        model.lights.push_back(placed);
    }
}

// Whether some mesh lists corners per face rather than sharing them: more corners than faces.
// A surface whose faces share their corners has about half as many corners as faces; files
// that list them per face or per polygon (STL, OBJ) have two to three times as many.
bool listsCornersPerFace(const aiScene& scene) {
    for (unsigned i = 0; i < scene.mNumMeshes; ++i) {
        const aiMesh& mesh = *scene.mMeshes[i];
        if (mesh.mNumVertices > mesh.mNumFaces) return true;
    }
    return false;
}

std::string importHere(const char* path, Model3DS& model) {
    Assimp::Importer importer;
    // Points and lines, which have no surface to render, are skipped with the faces.
    const aiScene* scene = importer.ReadFile(path, aiProcess_Triangulate);
    if (scene == nullptr) return importer.GetErrorString();
    if (scene->mRootNode == nullptr) return "the file holds no scene";
    // Joining the corners that a file lists once per face (STL, OBJ, unindexed glTF) lets the
    // averaged normals make it smooth. Meshes that share their corners are left alone: joining
    // is the costliest step of a large model's import.
    if (listsCornersPerFace(*scene)) {
        scene = importer.ApplyPostProcessing(aiProcess_JoinIdenticalVertices);
        if (scene == nullptr) return importer.GetErrorString();
    }
    addMaterials(*scene, model);
    addNodeMeshes(*scene, *scene->mRootNode, aiMatrix4x4(), model);
    for (const Object3DS& object : model.objects) {
        if (!facesNameTheirVertices(object)) {
            return "the file is damaged: a face names a vertex its mesh lacks";
        }
    }
    addCameras(*scene, model);
    addLights(*scene, model);
    if (model.objects.empty()) return "the model has no faces";
    return {};
}

}  // namespace

extern "C" void lumoraReadModel(const char* path, Model3DS* model, std::string* reason) {
    *reason = importHere(path, *model);
}
