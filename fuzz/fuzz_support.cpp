#include "fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "accel/bound.h"
#include "app/driver.h"
#include "model/fatal.h"

namespace fs = std::filesystem;

namespace {

fs::path scratchFolder;
int startFolder = -1;  // the working folder the fuzzer was started in, to return to

void removeScratchFolder() {
    std::error_code ignored;
    fs::remove_all(scratchFolder, ignored);
}

[[noreturn]] void fail(const char* what) {
    std::perror(what);
    std::exit(1);
}

// libFuzzer writes the input of a crash, timeout or leak to its artifact prefix, relative to
// the working folder of the moment: during a load, the private folder, which goes at exit.
// So the prefix (or exact path) is made absolute, and when none is given it is the folder
// the fuzzer was started in, as it would be without the private folder.
std::vector<std::string> arguments;
std::vector<char*> argumentPointers;

void anchorArtifacts(int* argc, char*** argv) {
    arguments.assign(*argv, *argv + *argc);
    bool placed = false;
    for (std::string& argument : arguments) {
        for (const std::string flag : {"-artifact_prefix=", "-exact_artifact_path="}) {
            if (!argument.starts_with(flag)) continue;
            argument = flag + (fs::current_path() / argument.substr(flag.size())).string();
            placed = true;
        }
    }
    if (!placed) arguments.push_back("-artifact_prefix=" + fs::current_path().string() + "/");
    argumentPointers.clear();
    for (std::string& argument : arguments) argumentPointers.push_back(argument.data());
    argumentPointers.push_back(nullptr);
    *argc = static_cast<int>(arguments.size());
    *argv = argumentPointers.data();
}

void writeScratchFile(const char* name, std::string_view content) {
    std::ofstream(scratchFolder / name, std::ios::binary | std::ios::trunc)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
}

// Inside the private folder for its lifetime.
class InScratchFolder {
  public:
    InScratchFolder() {
        if (chdir(scratchFolder.c_str()) != 0) fail("lumora fuzzing: chdir");
    }
    ~InScratchFolder() {
        if (fchdir(startFolder) != 0) fail("lumora fuzzing: fchdir");
    }
    InScratchFolder(const InScratchFolder&) = delete;
    InScratchFolder& operator=(const InScratchFolder&) = delete;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    anchorArtifacts(argc, argv);
    std::string name = (fs::temp_directory_path() / "lumora-fuzz-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) fail("lumora fuzzing: mkdtemp");
    scratchFolder = name;
    std::atexit(removeScratchFolder);
    startFolder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (startFolder < 0) fail("lumora fuzzing: open .");
    if (std::freopen("/dev/null", "w", stdout) == nullptr) fail("lumora fuzzing: /dev/null");
    if (companionFile.name != nullptr) writeScratchFile(companionFile.name, companionFile.content);
    return 0;
}

void loadAndRelease(const std::function<void()>& load) {
    const InScratchFolder inside;
    resetScene();
    try {
        load();
    } catch (const ProgramExit&) {
        // The input was refused with a message, as it should be.
    }
    resetScene();
}

void loadInput(const char* name, std::string_view input, const std::function<int()>& load) {
    writeScratchFile(name, input);
    loadAndRelease([&] {
        if (load() == 0) buildBoundingSlabs();
    });
}
