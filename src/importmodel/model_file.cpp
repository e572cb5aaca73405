#include "importmodel/model_file.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

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

std::string importHere(const std::string& path, Model3DS& model) {
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

// The model crosses from the importing child to the parent as plain arrays, each after its
// length.
class ModelWriter {
  public:
    template <typename T>
    void add(const T& value) {
        const auto* bytes = reinterpret_cast<const char*>(&value);
        data_.append(bytes, sizeof(T));
    }
    template <typename T>
    void addAll(const std::vector<T>& values) {
        add(values.size());
        const auto* bytes = reinterpret_cast<const char*>(values.data());
        data_.append(bytes, values.size() * sizeof(T));
    }
    const std::string& data() const { return data_; }

  private:
    std::string data_;
};

class ModelReader {
  public:
    explicit ModelReader(const std::string& data) : data_(data) {}
    template <typename T>
    T take() {
        T value{};
        takeBytes(&value, sizeof(T));
        return value;
    }
    template <typename T>
    std::vector<T> takeAll() {
        const auto count = take<std::size_t>();
        if (count > (data_.size() - at_) / sizeof(T)) {
            ok_ = false;
            return {};
        }
        std::vector<T> values(count);
        takeBytes(values.data(), count * sizeof(T));
        return values;
    }
    bool ok() const { return ok_ && at_ == data_.size(); }

  private:
    void takeBytes(void* to, std::size_t size) {
        if (size == 0) return;  // an empty array has no storage to copy into
        if (size > data_.size() - at_) {
            ok_ = false;
            return;
        }
        std::memcpy(to, data_.data() + at_, size);
        at_ += size;
    }
    const std::string& data_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

std::string serialise(const Model3DS& model) {
    ModelWriter out;
    std::vector<std::array<std::uint8_t, 3>> colours;
    for (const Material3DS& material : model.materials) {
        colours.push_back({material.colour[0], material.colour[1], material.colour[2]});
    }
    out.addAll(colours);
    out.addAll(model.cameras);
    out.addAll(model.lights);
    out.add(model.objects.size());
    for (const Object3DS& object : model.objects) {
        out.add(object.materialId);
        out.addAll(object.verts);
        out.addAll(object.normals);
        out.addAll(object.faces);
    }
    return out.data();
}

bool deserialise(const std::string& data, Model3DS& model) {
    ModelReader in(data);
    for (const auto& colour : in.takeAll<std::array<std::uint8_t, 3>>()) {
        Material3DS& material = model.materials.emplace_back();
        std::copy(colour.begin(), colour.end(), material.colour);
    }
    model.cameras = in.takeAll<Camera3DS>();
    model.lights = in.takeAll<Light3DS>();
    const auto objects = in.take<std::size_t>();
    for (std::size_t k = 0; k < objects; ++k) {
        Object3DS& object = model.objects.emplace_back();
        object.materialId = in.take<int>();
        object.verts = in.takeAll<Point3f>();
        object.normals = in.takeAll<Point3f>();
        object.faces = in.takeAll<Face3DS>();
    }
    return in.ok();
}

constexpr std::size_t kReadBytes = 1 << 16;

// The importing child's address space, where no sanitizer reserves its own.
constexpr rlim_t kImportBytes = rlim_t{16} << 30;

[[noreturn]] void importInChild(const std::string& path, int out, unsigned seconds) {
    // A child whose parent is gone has nobody to answer.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // A crash ends the child by its signal, whatever handler a sanitizer put in place, so
    // that the parent can tell a crash from a failure.
    for (int crash : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(crash, SIG_DFL);
    const rlimit time{seconds, seconds};
    setrlimit(RLIMIT_CPU, &time);
#if !defined(__SANITIZE_ADDRESS__)
    const rlimit memory{kImportBytes, kImportBytes};
    setrlimit(RLIMIT_AS, &memory);
#endif
    Model3DS model;
    const std::string reason = importHere(path, model);
    const std::string message = (reason.empty() ? "+" : "-") + (reason.empty() ? serialise(model) : reason);
    for (std::size_t at = 0; at < message.size();) {
        const ssize_t n = write(out, message.data() + at, message.size() - at);
        if (n <= 0) _exit(1);
        at += static_cast<std::size_t>(n);
    }
    // Not exit: the parent's buffered output and exit handlers are not the child's to run.
    _exit(0);
}

std::string readAll(int in) {
    std::string data;
    std::vector<char> buffer(kReadBytes);
    for (ssize_t n; (n = read(in, buffer.data(), buffer.size())) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        data.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return data;
}

// What the end of the child says of the file, or nothing when it ended normally.
std::string howTheChildEnded(int status, unsigned seconds) {
    if (WIFSIGNALED(status)) {
        if (WTERMSIG(status) == SIGXCPU || WTERMSIG(status) == SIGKILL) {
            return "the file is damaged: reading it took more than " + std::to_string(seconds) +
                   " seconds";
        }
        return std::string("the file is damaged: the importer crashed on it (") +
               strsignal(WTERMSIG(status)) + ")";
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "the file is damaged: the importer failed on it";
    }
    return {};
}

}  // namespace

// The importing library is someone else's code, and some damaged files crash it or make it
// loop: it runs in a child process, whose end, however abrupt, is only a reason here.
std::string importModelFile(const std::string& path, Model3DS& model, unsigned seconds) {
    model = Model3DS{};
    int channel[2];
    if (pipe(channel) != 0) return std::string("no pipe to the importer: ") + std::strerror(errno);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        return std::string("no process for the importer: ") + std::strerror(errno);
    }
    if (child == 0) {
        close(channel[0]);
        importInChild(path, channel[1], seconds);
    }
    close(channel[1]);
    const std::string data = readAll(channel[0]);
    close(channel[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    std::string reason = howTheChildEnded(status, seconds);
    if (reason.empty() && (data.empty() || data[0] == '-')) {
        reason = data.empty() ? "the file is damaged: the importer said nothing" : data.substr(1);
    } else if (reason.empty() && !deserialise(data.substr(1), model)) {
        reason = "the file is damaged: the importer's answer was cut short";
    }
    if (!reason.empty()) model = Model3DS{};
    return reason;
}
