#include "app/scene3ds.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>
#include <system_error>
#include <vector>

#include "import3ds/faces.h"
#include "import3ds/model3ds.h"
#include "importmodel/model_file.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "model/input_file.h"
#include "model/surface.h"
#include "parser/lexer.h"
#include "parser/settings3ds.h"
#include "render/light.h"

namespace {

// Common lenses (focal length in millimetres) and their fields of view (degrees), paired by
// index; other lenses are interpolated between their neighbours.
constexpr int kLensCount = 13;
constexpr float lens_table[kLensCount] = {15,  17,  24,  35,  50,  85,  100,
                                          135, 200, 500, 625, 800, 1000};
constexpr float fov_table[kLensCount] = {115, 102, 84, 63, 46, 28, 24, 18, 12, 5, 4, 3.125, 2.5};
// The table's angles, narrowed by this factor, are the horizontal angles of this renderer's
// camera.
constexpr float kFovScale = 1.175f;

// What a model without cameras is seen from: 3DS models are z-up.
constexpr Vector3 kDefaultPosition{20, 20, 20};
constexpr Vector3 kDefaultLookAt{0, 0, 0};
constexpr Vector3 kUp{0, 0, 1};
constexpr float kDefaultFov = 40;
constexpr double kRatio = 4.0 / 3.0;

// A plain matte surface coloured by the mesh's material. Refraction index and reflection
// samples stay 0 like everything else: the surface neither refracts nor reflects.
constexpr Surface kMeshSurface{
    .color = {0, 0, 0},
    .ambient = 0.3,
    .diffuse = 0.375,
    .brilliance = 0,
    .specular = 0,
    .roughness = 0,
    .reflection = 0,
    .reflectionType = REFLECTION_SHARP,
    .reflectionSamples = 0,
    .reflectionRadius = 0,
    .refraction = 0,
    .refractionIndex = 0,
};

// What the settings file gives every light of the model.
struct LightParameters {
    int attenuationType = ATTENUATION_NONE;
    int shadowType = SHADOW_SHARP;
    int lightSamples = 0;
    double lightRadius = 0;
};

Vector3 widen(Point3f p) {
    return {p.x, p.y, p.z};
}

// The output is named after the settings file unless the settings or "-o" name it.
void nameOutputAfter(const char* settingsPath) {
    const std::size_t size = std::min<std::size_t>(std::strlen(settingsPath), kOutputNameSize - 1);
    std::memcpy(myDisplay.outputName, settingsPath, size);
    myDisplay.outputName[size] = '\0';
}

// The settings may change the depth of field; a focal point is measured from the position
// set here, since the model's camera replaces it only afterwards.
void presetCamera() {
    myViewPoint.position = kDefaultPosition;
    myViewPoint.lookAt = kDefaultLookAt;
    myViewPoint.up = kUp;
    myViewPoint.ratio = kRatio;
    myViewPoint.aperture = 0;
    myViewPoint.focalLength = 10;
    myViewPoint.cameraSamples = 16;
    myViewPoint.projectionType = PROJECTION_FLAT;
}

void readSettings(const char* settingsPath, std::string& modelName, LightParameters& lights,
                  int& cameraIndex, bool& yUp) {
    const FilePtr file = openRegularFile(settingsPath, "r");
    if (!file) {
        std::printf("\n 3ds settings file: %s could no be opened\n", settingsPath);
        endProgram(kErrorStatus);
    }
    comptligne = 1;
    const SceneInput input(file.get(), settingsPath);
    yy_3DSSettings(file.get(), modelName, lights.attenuationType, lights.shadowType,
                   lights.lightSamples, lights.lightRadius, cameraIndex, yUp);
}

// A y-up model stood upright in this renderer's z-up world: a quarter turn about x.
Point3f standUp(Point3f p) {
    return {p.x, -p.z, p.y};
}

void standModelUp(Model3DS& model) {
    for (Object3DS& object : model.objects) {
        for (Point3f& p : object.verts) p = standUp(p);
        for (Point3f& n : object.normals) n = standUp(n);
    }
    for (Camera3DS& camera : model.cameras) {
        camera.position = standUp(camera.position);
        camera.target = standUp(camera.target);
    }
    for (Light3DS& light : model.lights) light.position = standUp(light.position);
}

// A name with ".3ds" (or none at all) goes to the 3DS reader as it always has; any other to
// the importer of every other format. False once the reader has said why it failed.
bool loadModel(const std::string& name, const std::string& path) {
    if (name.empty() || name.find(".3ds") != std::string::npos) {
        return import3DS(g_3DModel, path.c_str(), 0) != 0;
    }
    const std::string reason = importModelFile(path, g_3DModel);
    if (reason.empty()) return true;
    std::printf(" Model file %s could not be read: %s\n", name.c_str(), reason.c_str());
    return false;
}

// The model is looked for as named; failing that, a relative name beside the settings file,
// as an included scene file is, so that a model and its settings render from anywhere.
std::string locateModel(const std::string& name, const char* settingsPath) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (name.empty() || fs::exists(name, error) || fs::path(name).is_absolute()) return name;
    const fs::path beside = fs::path(settingsPath).parent_path() / name;
    if (fs::exists(beside, error)) return beside.string();
    return name;
}

// The camera chosen by the command line ("-c"), else by the settings file, both counting
// from 0 and held to the model's cameras.
void setCamera(const char* settingsPath, int settingsCamera) {
    Vector3 position = kDefaultPosition;
    Vector3 lookAt = kDefaultLookAt;
    float fov = kDefaultFov;
    const std::vector<Camera3DS>& cameras = g_3DModel.cameras;
    if (!cameras.empty()) {
        const int count = static_cast<int>(cameras.size());
        int index = iCameraGiven ? iCameraIndex : settingsCamera;
        if (index >= count) index = count - 1;
        if (index < 0) index = 0;
        iCameraIndex = index;
        const Camera3DS& camera = cameras[index];
        position = widen(camera.position);
        lookAt = widen(camera.target);
        fov = computeFOV(camera.lens);  // the bank angle is not used
    } else {
        std::printf(" No camera defined in %s. Using default settings.\n", settingsPath);
    }
    myViewPoint.position = position;
    myViewPoint.lookAt = lookAt;
    myViewPoint.fovH = 0.5 * fov * std::numbers::pi / 180;
    myViewPoint.up = kUp;
    myViewPoint.ratio = kRatio;
}

// Every 3DS light becomes a point light of its float colour; its aim, cone, off flag and
// byte colour are not used. The zero direction is kept as it is by makeLight.
void addLights(const char* settingsPath, const LightParameters& parameters) {
    if (g_3DModel.lights.empty()) std::printf(" No light defined in %s.\n", settingsPath);
    for (const Light3DS& light : g_3DModel.lights) {
        makeLight(widen(light.position), {light.colour[0], light.colour[1], light.colour[2]},
                  LIGHT_POINT, parameters.attenuationType, parameters.shadowType,
                  parameters.lightRadius, parameters.lightSamples, 0, 0, {0, 0, 0});
    }
}

// Black for an object whose material the model lacks (a model without materials).
Color materialColour(const Object3DS& object) {
    const std::vector<Material3DS>& materials = g_3DModel.materials;
    if (object.materialId < 0 || static_cast<std::size_t>(object.materialId) >= materials.size()) {
        return {0, 0, 0};
    }
    const std::uint8_t* c = materials[object.materialId].colour;
    return {c[0] / 255.0f, c[1] / 255.0f, c[2] / 255.0f};
}

// The patches of every mesh of the model, each coloured by its material.
void buildPatches() {
    std::vector<const Surface*> surfaces;
    Surface surface = kMeshSurface;
    for (const Object3DS& object : g_3DModel.objects) {
        surface.color = materialColour(object);
        surfaces.push_back(shareSurface(surface));
    }
    addMeshFaces(g_3DModel.objects, surfaces);
    g_3DModel = Model3DS{};
}

}  // namespace

float computeFOV(float lens) {
    // A lens that is not a number is taken as the shortest.
    if (!(lens > lens_table[0])) lens = lens_table[0];
    if (lens > lens_table[kLensCount - 1]) lens = lens_table[kLensCount - 1];

    int i = 0;
    while (i < kLensCount && !(lens_table[i] > lens)) ++i;
    if (i == kLensCount) i = kLensCount - 1;
    if (i == 0) i = 1;

    const float fov = fov_table[i - 1] + (lens - lens_table[i - 1]) *
                                             (fov_table[i] - fov_table[i - 1]) /
                                             (lens_table[i] - lens_table[i - 1]);
    return fov / kFovScale;
}

int parse3ds(const char* settingsPath) {
    LightParameters lights;
    std::string modelName;
    int settingsCamera = 0;
    bool yUp = false;
    nameOutputAfter(settingsPath);
    presetCamera();
    readSettings(settingsPath, modelName, lights, settingsCamera, yUp);

    // The normals are computed with the patches, mesh by mesh, on as many threads.
    if (!loadModel(modelName, locateModel(modelName, settingsPath))) {
        std::printf(" An error occured while loading %s\n", settingsPath);
        return -1;
    }
    if (yUp) standModelUp(g_3DModel);
    std::printf(" Computing normals...\n");
    setCamera(settingsPath, settingsCamera);
    addLights(settingsPath, lights);
    buildPatches();
    return 0;
}
