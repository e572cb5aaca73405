#include "importmodel/model_file.h"

#include <dlfcn.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "importmodel/model_reader.h"

namespace {

// The model crosses from the importing child to the parent as plain arrays, each after its
// length.
class ModelWriter {
  public:
    template <typename T>
    void add(const T& value) {
        const auto* bytes = reinterpret_cast<const char*>(&value);
        data_.append(bytes, sizeof(T));
    }
    template <typename Values>
    void addAll(const Values& values) {
        add(values.size());
        const auto* bytes = reinterpret_cast<const char*>(values.data());
        data_.append(bytes, values.size() * sizeof(typename Values::value_type));
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
    template <typename Values>
    Values takeAll() {
        using T = typename Values::value_type;
        const auto count = take<std::size_t>();
        if (count > (data_.size() - at_) / sizeof(T)) {
            ok_ = false;
            return {};
        }
        Values values(count);
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
        out.add(object.hasMaterial);
        out.addAll(object.verts);
        out.addAll(object.normals);
        out.addAll(object.faces);
    }
    return out.data();
}

bool deserialise(const std::string& data, Model3DS& model) {
    ModelReader in(data);
    for (const auto& colour : in.takeAll<std::vector<std::array<std::uint8_t, 3>>>()) {
        Material3DS& material = model.materials.emplace_back();
        std::copy(colour.begin(), colour.end(), material.colour);
    }
    model.cameras = in.takeAll<decltype(model.cameras)>();
    model.lights = in.takeAll<decltype(model.lights)>();
    const auto objects = in.take<std::size_t>();
    for (std::size_t k = 0; k < objects; ++k) {
        Object3DS& object = model.objects.emplace_back();
        object.materialId = in.take<int>();
        object.hasMaterial = in.take<bool>();
        object.verts = in.takeAll<decltype(object.verts)>();
        object.normals = in.takeAll<decltype(object.normals)>();
        object.faces = in.takeAll<decltype(object.faces)>();
    }
    return in.ok();
}

// Where the model-reader module may be: installed beside the programs' bin directory, beside
// the program (the build's own directory), or where this build put it.
std::vector<std::filesystem::path> modelReaderPlaces() {
    std::vector<std::filesystem::path> places;
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        places.push_back(program.parent_path() / ".." / LUMORA_MODEL_READER_INSTALL_DIR /
                         kModelReaderName);
        places.push_back(program.parent_path() / kModelReaderName);
    }
    places.emplace_back(LUMORA_MODEL_READER_BUILT);
    return places;
}

// Loads the model-reader module (in the importing child only, which ends without unloading
// it) and reads the model with it.
std::string readWithModule(const std::string& path, Model3DS& model) {
    std::string failure = std::string("the model reader ") + kModelReaderName + " is missing";
    for (const std::filesystem::path& place : modelReaderPlaces()) {
        if (!std::filesystem::exists(place)) continue;
        void* module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
        const auto read =
            module != nullptr
                ? reinterpret_cast<decltype(&lumoraReadModel)>(dlsym(module, "lumoraReadModel"))
                : nullptr;
        if (read == nullptr) {
            const char* why = dlerror();
            failure = std::string("the model reader cannot be loaded: ") +
                      (why != nullptr ? why : place.string());
            continue;
        }
        std::string reason;
        read(path.c_str(), &model, &reason);
        return reason;
    }
    return failure;
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
    const std::string reason = readWithModule(path, model);
    const std::string message =
        (reason.empty() ? "+" : "-") + (reason.empty() ? serialise(model) : reason);
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
