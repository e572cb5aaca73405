// Fuzz target: a scene file, read with its includes and then grouped into the bounding
// hierarchy.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "parser/parser.h"

// What the example scenes include, so that their copies in the corpus find it.
const CompanionFile companionFile{"palette.lms",
                                  "declare \"ivory\" color 1.0 0.96 0.88\n"
                                  "declare \"teal\" color 0.1 0.55 0.6\n"
                                  "declare \"ember\" color 0.9 0.3 0.1\n"
                                  "declare \"slate\" color 0.35 0.38 0.42\n"};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Every "/" becomes "_", so every name the scene includes is a single name, looked up in
    // the private folder: the scene can reach no other file, and can include itself, the
    // palette, or a folder ("." or ".."), which is refused.
    std::string scene(reinterpret_cast<const char*>(data), size);
    std::replace(scene.begin(), scene.end(), '/', '_');
    loadInput("scene.lms", scene, [] { return parseFile("scene.lms"); });
    return 0;
}
