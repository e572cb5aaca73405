#include "app/scene3ds.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "app/framing.h"
#include "import3ds/faces.h"
#include "import3ds/model3ds.h"
#include "importmodel/model_file.h"
#include "model/fatal.h"
#include "model/format.h"
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

// From (1, 1, 1) towards the origin, as the preset camera looks: a framed model is seen
// from the same side.
constexpr Vector3 kPresetDirection = kDefaultLookAt - kDefaultPosition;
// A hint tells how much of the picture the model fills when it is less than this.
constexpr double kSmallShare = 0.05;

// Faces whose mesh names none of the model's materials: a neutral grey, as modelling
// programs show them, rather than black on the default black background.
constexpr Color kNoMaterialColour{0.6, 0.6, 0.6};

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
                  int& cameraIndex, ModelOptions& options) {
    const FilePtr file = openRegularFile(settingsPath, "r");
    if (!file) {
        std::printf("\n 3ds settings file: %s could no be opened\n", settingsPath);
        endProgram(kErrorStatus);
    }
    comptligne = 1;
    const SceneInput input(file.get(), settingsPath);
    yy_3DSSettings(file.get(), modelName, lights.attenuationType, lights.shadowType,
                   lights.lightSamples, lights.lightRadius, cameraIndex, options);
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

double halfAngle(float fov) {
    return 0.5 * fov * std::numbers::pi / 180;
}

void writeCamera(Vector3 position, Vector3 lookAt, float fov) {
    myViewPoint.position = position;
    myViewPoint.lookAt = lookAt;
    myViewPoint.fovH = halfAngle(fov);
    myViewPoint.up = kUp;
    myViewPoint.ratio = kRatio;
}

// "0.4%", or "under 0.1%" for a sliver that rounding would show as none.
std::string shareText(double share) {
    if (share < 0.001) return "under 0.1%";
    return format("%.1f%%", 100 * share);
}

// Says which key shows the whole model, and how little of the picture the preset camera
// gives it when that is what the picture would show.
void hintFraming() {
    std::string hint = " Hint: frame \"yes\" in the settings file looks at the whole model";
    const std::optional<Coverage> coverage =
        pictureCoverage(g_3DModel, myViewPoint, kSmallShare);
    if (coverage && !coverage->inView) {
        hint += "; the default camera does not see it";
    } else if (coverage && coverage->share < kSmallShare) {
        hint += "; the default camera shows it over " + shareText(coverage->share) +
                " of the picture";
    }
    std::printf("%s.\n", hint.c_str());
}

// Looks at the centre of the model's box from the preset's side, near enough that the box's
// bounding sphere fills the preset's view. A model without extent keeps the preset camera.
void frameModel() {
    const ModelBox box = modelBox(g_3DModel);
    const std::optional<Vector3> position =
        framingPosition(box, kPresetDirection, halfAngle(kDefaultFov), kRatio);
    if (!position) return;
    const Vector3 centre = 0.5 * (box.low + box.high);
    writeCamera(*position, centre, kDefaultFov);
    std::printf(" Framing the model: the camera at <%g %g %g> looks at <%g %g %g>.\n",
                position->x, position->y, position->z, centre.x, centre.y, centre.z);
}

// The camera chosen by the command line ("-c"), else by the settings file, both counting
// from 0 and held to the model's cameras. A model without cameras is seen from the preset,
// or framed whole when the settings ask for it.
void setCamera(const char* settingsPath, int settingsCamera, bool frame) {
    const std::vector<Camera3DS>& cameras = g_3DModel.cameras;
    if (cameras.empty()) {
        writeCamera(kDefaultPosition, kDefaultLookAt, kDefaultFov);
        std::printf(" No camera defined in %s. Using default settings.\n", settingsPath);
        if (frame) {
            frameModel();
        } else {
            hintFraming();
        }
        return;
    }
    const int count = static_cast<int>(cameras.size());
    int index = iCameraGiven ? iCameraIndex : settingsCamera;
    if (index >= count) index = count - 1;
    if (index < 0) index = 0;
    iCameraIndex = index;
    const Camera3DS& camera = cameras[index];
    // The bank angle is not used.
    writeCamera(widen(camera.position), widen(camera.target), computeFOV(camera.lens));
}

void addPointLight(Vector3 position, Color colour, const LightParameters& parameters) {
    makeLight(position, colour, LIGHT_POINT, parameters.attenuationType, parameters.shadowType,
              parameters.lightRadius, parameters.lightSamples, 0, 0, {0, 0, 0});
}

// Every 3DS light becomes a point light of its colour; its aim, cone and off flag are not
// used. The zero direction is kept as it is by makeLight. A model without lights gets a white
// light at the camera when the settings ask for it.
void addLights(const char* settingsPath, const LightParameters& parameters, bool headlight) {
    if (g_3DModel.lights.empty()) {
        std::printf(" No light defined in %s.\n", settingsPath);
        if (headlight) {
            addPointLight(myViewPoint.position, {1, 1, 1}, parameters);
            std::printf(" Lighting the model with a headlight at the camera.\n");
        } else {
            std::printf(" Hint: headlight \"yes\" in the settings file lights the model from "
                        "the camera.\n");
        }
    }
    for (const Light3DS& light : g_3DModel.lights) {
        addPointLight(widen(light.position), {light.colour[0], light.colour[1], light.colour[2]},
                      parameters);
    }
}

// The colour of the object's material, or grey when its faces name none of the model's.
Color materialColour(const Object3DS& object) {
    const std::vector<Material3DS>& materials = g_3DModel.materials;
    if (!object.hasMaterial || object.materialId < 0 ||
        static_cast<std::size_t>(object.materialId) >= materials.size()) {
        return kNoMaterialColour;
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
    ModelOptions options;
    nameOutputAfter(settingsPath);
    presetCamera();
    readSettings(settingsPath, modelName, lights, settingsCamera, options);

    // The normals are computed with the patches, mesh by mesh, on as many threads.
    if (!loadModel(modelName, locateModel(modelName, settingsPath))) {
        std::printf(" An error occured while loading %s\n", settingsPath);
        return -1;
    }
    if (options.yUp) standModelUp(g_3DModel);
    std::printf(" Computing normals...\n");
    setCamera(settingsPath, settingsCamera, options.frame);
    addLights(settingsPath, lights, options.headlight);
    buildPatches();
    return 0;
}
