// Fuzz target: the block of a 3DS settings file, read from memory.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "model/globals.h"
#include "parser/lexer.h"
#include "parser/settings3ds.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

const CompanionFile companionFile{nullptr, {}};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // fmemopen refuses an empty buffer; a lone blank reads the same.
    std::string text(reinterpret_cast<const char*>(data), size);
    if (text.empty()) text = " ";
    const std::unique_ptr<std::FILE, FileCloser> file(fmemopen(text.data(), text.size(), "r"));
    if (!file) return 0;
    loadAndRelease([&] {
        std::string modelName;
        int attenuationType = ATTENUATION_NONE;
        int shadowType = SHADOW_SHARP;
        int lightSamples = 0;
        double lightRadius = 0;
        int cameraIndex = 0;
        ModelOptions options;
        comptligne = 1;
        const SceneInput input(file.get(), "settings.lms");
        yy_3DSSettings(file.get(), modelName, attenuationType, shadowType, lightSamples,
                       lightRadius, cameraIndex, options);
    });
    return 0;
}
