// Fuzz target: a 3DS model, read and turned into the scene's lights, camera and patches, then
// grouped into the bounding hierarchy.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/scene3ds.h"
#include "fuzz_support.h"

// Settings that use every part of the assembly: the model's lights get soft shadows, and its
// second camera is chosen when it has one.
const CompanionFile companionFile{
    "settings.lms",
    "{ input_name \"model.3ds\" attenuation_type \"none\" shadow_type \"smooth\"\n"
    "  radius 0.5 light_samples 4 camera_index 1 }\n"};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view model(reinterpret_cast<const char*>(data), size);
    loadInput("model.3ds", model, [] { return parse3ds("settings.lms"); });
    return 0;
}
