// Damaged copies of every example scene, include, 3DS settings file and 3DS model, each run
// through both programs. Whatever the damage, a run must end on its own: with a message and a
// status from 1 to 255, or with status 0 and a complete picture when the damage left a valid
// input; never by a signal or a sanitizer report, within 10 seconds and 1 GiB.
//
// The damage is deterministic: cuts and overwrites at places found in each file's own
// structure (inside a word, a number, a chunk header, a count), and bytes changed at
// positions drawn from a fixed seed, so a failing case fails again on every run.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 16;
constexpr int kHeight = 12;
constexpr RunLimits kLimits{std::chrono::seconds(10), 1024 * 1024};

// Changed bytes per file at seeded positions.
constexpr int kRandomDamages = 8;
constexpr std::uint32_t kSeed = 20240611;

// One damage done to a copy of an example file.
struct Damage {
    std::string what;   // what was done and where, for the reports
    std::size_t at;     // where
    std::string bytes;  // written over the file at `at`; empty when the file is cut at `at`
};

// Damages of one kind to one example file: one case of the table. Each case starts its own
// test process, so the damages are grouped to keep the table's time in check.
struct DamageCase {
    std::string file;  // the example file that is damaged
    std::string kind;  // what the damages have in common
    std::vector<Damage> damages;
};

// How GoogleTest names a case in its listings and reports.
void PrintTo(const DamageCase& damageCase, std::ostream* out) {
    *out << damageCase.file << ", " << damageCase.damages.size() << " " << damageCase.kind;
}

std::string hexByte(unsigned char byte) {
    const char* digits = "0123456789ABCDEF";
    return {digits[byte >> 4], digits[byte & 15]};
}

// The quoted names that follow each `keyword` in a scene text.
std::vector<std::string> namesAfter(const std::string& text, const std::string& keyword) {
    std::vector<std::string> names;
    for (std::size_t at = text.find(keyword); at != std::string::npos;
         at = text.find(keyword, at + 1)) {
        const std::size_t open = text.find_first_not_of(" \t", at + keyword.size());
        const std::size_t close = text.find('"', open + 1);
        if (open == std::string::npos || text[open] != '"' || close == std::string::npos) continue;
        names.push_back(text.substr(open + 1, close - open - 1));
    }
    return names;
}

// The material files an OBJ model names on its "mtllib" lines; none for other models.
std::vector<std::string> materialLibraries(const std::string& model) {
    std::vector<std::string> libraries;
    if (fs::path(model).extension() != ".obj") return libraries;
    std::istringstream lines(readFile(fs::path(LUMORA_EXAMPLES_DIR) / model));
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("mtllib ")) libraries.push_back(line.substr(7));
    }
    return libraries;
}

// The examples that the programs read, and the command line that reads each one: a scene by
// itself, an include or a mesh's model through the scene that names it, a 3DS model through
// the settings file that names it.
std::map<std::string, std::vector<std::string>> findExampleEntries() {
    std::vector<std::string> scenes;
    for (const auto& entry : fs::directory_iterator(LUMORA_EXAMPLES_DIR)) {
        if (entry.path().extension() == ".lms") scenes.push_back(entry.path().filename());
    }
    std::sort(scenes.begin(), scenes.end());

    std::map<std::string, std::vector<std::string>> entries;
    std::map<std::string, std::vector<std::string>> readThrough;
    for (const std::string& scene : scenes) {
        const std::string text = readFile(fs::path(LUMORA_EXAMPLES_DIR) / scene);
        const std::vector<std::string> models = namesAfter(text, "input_name");
        entries[scene] = {models.empty() ? "-i" : "-3ds", scene};
        for (const std::string& model : models) readThrough.try_emplace(model, entries[scene]);
        for (const std::string& include : namesAfter(text, "include")) {
            readThrough.try_emplace(include, entries[scene]);
        }
        for (const std::string& model : namesAfter(text, "file")) {
            readThrough.try_emplace(model, entries[scene]);
            for (const std::string& library : materialLibraries(model)) {
                readThrough.try_emplace(library, entries[scene]);
            }
        }
    }
    for (const auto& [file, arguments] : readThrough) entries[file] = arguments;
    return entries;
}

const std::map<std::string, std::vector<std::string>>& exampleEntries() {
    static const auto entries = findExampleEntries();
    return entries;
}

void addCut(std::vector<Damage>& damages, const std::string& what, std::size_t at) {
    damages.push_back({what + " at " + std::to_string(at), at, ""});
}

void addOverwrite(std::vector<Damage>& damages, const std::string& what, std::size_t at,
                  const std::string& bytes) {
    damages.push_back({what + " at " + std::to_string(at), at, bytes});
}

// Cuts at a fixed share of the file and just before its end.
void addProportionalCuts(std::vector<Damage>& damages, std::size_t size) {
    addCut(damages, "empty", 0);
    addCut(damages, "cut at a third", size / 3);
    addCut(damages, "cut at half", size / 2);
    addCut(damages, "cut at two thirds", 2 * size / 3);
    addCut(damages, "cut before the last byte", size - 1);
}

// Bytes changed at positions drawn from the seed; `pick` chooses the new byte from the old.
template <typename Pick>
std::vector<Damage> seededOverwrites(const std::string& content, Pick pick) {
    std::vector<Damage> damages;
    std::seed_seq seed{kSeed, static_cast<std::uint32_t>(content.size())};
    std::mt19937 random(seed);
    for (int i = 0; i < kRandomDamages; ++i) {
        const std::size_t at = random() % content.size();
        const auto byte = static_cast<unsigned char>(pick(random, content[at]));
        addOverwrite(damages, "byte set to " + hexByte(byte), at, std::string(1, byte));
    }
    return damages;
}

// Where a cut falls inside the first word, number, quoted name and comment of a scene text.
void addTokenCuts(std::vector<Damage>& damages, const std::string& text) {
    auto isWordByte = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    };
    std::map<std::string, std::size_t> cuts;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '[' || c == ';') {
            cuts.try_emplace("cut in a comment", i + 2);
            i = std::min(text.find(c == '[' ? ']' : '\n', i), text.size());
        } else if (c == '"') {
            cuts.try_emplace("cut in a quoted name", i + 2);
            i = std::min(text.find('"', i + 1), text.size());
        } else if (isWordByte(c) || c == '.' || c == '-') {
            std::size_t end = i;
            while (end < text.size() && (isWordByte(text[end]) || text[end] == '.')) ++end;
            const bool number = !std::isalpha(static_cast<unsigned char>(c));
            if (end - i >= 3) cuts.try_emplace(number ? "cut in a number" : "cut in a word", i + 2);
            i = end;
        }
    }
    for (const auto& [what, at] : cuts) addCut(damages, what, at);
    if (const std::size_t brace = text.rfind('}'); brace != std::string::npos) {
        addCut(damages, "cut before the last brace", brace);
    }
}

std::vector<DamageCase> sceneTextCases(const std::string& file, const std::string& text) {
    std::vector<Damage> cuts;
    addProportionalCuts(cuts, text.size());
    addTokenCuts(cuts, text);
    // Bytes that end, open or break a token: a lone brace, quote or bracket, a comment that
    // swallows the rest, a digit that joins two numbers, a byte the lexer does not know.
    static const std::string troublemakers{"\0\xFF{}\"<#[;9-\n", 12};
    return {{file, "cuts", cuts},
            {file, "overwrites", seededOverwrites(text, [](std::mt19937& random, char) {
                 return troublemakers[random() % troublemakers.size()];
             })}};
}

// A chunk of a 3DS file: its id, where its header starts and its claimed length.
struct ChunkAt {
    std::uint16_t id;
    std::size_t offset;
    std::uint32_t length;
};

std::uint32_t littleEndian(const std::string& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

std::string littleEndianBytes(std::uint32_t value, int size) {
    std::string bytes;
    for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> 8 * i & 0xFF);
    return bytes;
}

// Where the children of a chunk start, for the chunks that have children; 0 for the others.
std::size_t childrenStart(const std::string& bytes, const ChunkAt& chunk) {
    const std::size_t data = chunk.offset + 6;
    switch (chunk.id) {
        case 0x4D4D:  // main
        case 0x3D3D:  // editor
        case 0x4100:  // triangle mesh
        case 0xAFFF:  // material
        case 0xA020:  // diffuse colour
            return data;
        case 0x4000:  // named object: after its zero-terminated name
            return bytes.find('\0', data) + 1;
        case 0x4120:  // face list: after the count and four words per face
            return data + 2 + 8 * littleEndian(bytes, data, 2);
        case 0x4600:  // light: after its position
            return data + 12;
        default:
            return 0;
    }
}

// Every chunk of a well-formed 3DS file, each parent before its children.
void listChunks(const std::string& bytes, std::size_t from, std::size_t to,
                std::vector<ChunkAt>& chunks) {
    while (from + 6 <= to) {
        const ChunkAt chunk{static_cast<std::uint16_t>(littleEndian(bytes, from, 2)), from,
                            littleEndian(bytes, from + 2, 4)};
        chunks.push_back(chunk);
        if (const std::size_t children = childrenStart(bytes, chunk)) {
            listChunks(bytes, children, from + chunk.length, chunks);
        }
        from += chunk.length;
    }
}

// A damage aimed at the first chunk of a kind: `bytes` written at `offset` from the start of
// its header, or the file cut there when `bytes` is empty.
struct ChunkDamage {
    std::uint16_t id;
    const char* what;
    std::size_t offset;
    std::string bytes;
};

std::vector<ChunkDamage> chunkDamages() {
    const std::string nan = littleEndianBytes(0x7FC00000, 4);
    const std::string infinity = littleEndianBytes(0x7F800000, 4);
    const std::string maxShort = littleEndianBytes(0xFFFF, 2);
    return {
        {0x4D4D, "cut in header", 3, ""},
        {0x4D4D, "cut after header", 6, ""},
        {0x4D4D, "id cleared", 0, littleEndianBytes(0, 2)},
        {0x4D4D, "length zero", 2, littleEndianBytes(0, 4)},
        {0x4110, "made a mesh", 0, littleEndianBytes(0x4100, 2)},
        {0x4110, "count max", 6, maxShort},
        {0x4110, "count zero", 6, littleEndianBytes(0, 2)},
        {0x4110, "vertex not a number", 8, nan},
        {0x4110, "vertex infinite", 12, infinity},
        {0x4110, "cut in vertices", 8 + 12 * 100 + 5, ""},
        {0x4120, "count max", 6, maxShort},
        {0x4120, "count zero", 6, littleEndianBytes(0, 2)},
        {0x4120, "index max", 10, maxShort},
        {0x4120, "cut in faces", 8 + 8 * 100 + 3, ""},
        {0x4700, "position not a number", 6, nan},
        {0x4700, "lens infinite", 34, infinity},
        {0x4700, "cut in camera", 20, ""},
        {0x4600, "position infinite", 6, infinity},
        {0x4600, "colour not a number", 24, nan},
    };
}

std::string chunkName(std::uint16_t id) {
    return "chunk " + hexByte(id >> 8) + hexByte(id & 0xFF);
}

std::vector<DamageCase> modelCases(const std::string& file, const std::string& bytes) {
    std::vector<ChunkAt> chunks;
    listChunks(bytes, 0, bytes.size(), chunks);

    std::vector<Damage> cuts;
    addProportionalCuts(cuts, bytes.size());
    std::vector<Damage> aimed;
    for (const ChunkDamage& damage : chunkDamages()) {
        const auto chunk = std::find_if(chunks.begin(), chunks.end(),
                                        [&](const ChunkAt& c) { return c.id == damage.id; });
        if (chunk == chunks.end()) continue;
        const std::string what = chunkName(damage.id) + " " + damage.what;
        const std::size_t at = std::min(chunk->offset + damage.offset, bytes.size() - 1);
        if (damage.bytes.empty()) {
            addCut(cuts, what, at);
        } else {
            addOverwrite(aimed, what, at, damage.bytes);
        }
    }
    // Chunk lengths claim more than the parent holds, or less than the chunk's own header.
    std::vector<Damage> lengths;
    for (std::size_t i = 0; i < chunks.size(); i += 3) {
        const ChunkAt& chunk = chunks[i];
        addOverwrite(lengths, chunkName(chunk.id) + " length max", chunk.offset + 2,
                     littleEndianBytes(0xFFFFFFFF, 4));
        addOverwrite(lengths, chunkName(chunk.id) + " length 5", chunk.offset + 2,
                     littleEndianBytes(5, 4));
    }
    return {{file, "cuts", cuts},
            {file, "aimed_overwrites", aimed},
            {file, "chunk_lengths", lengths},
            {file, "flipped_bytes", seededOverwrites(bytes, [](std::mt19937& random, char old) {
                 return static_cast<char>(old ^ (1 + random() % 255));
             })}};
}

std::vector<DamageCase> allCases() {
    std::vector<DamageCase> cases;
    for (const auto& [file, arguments] : exampleEntries()) {
        const std::string content = readFile(fs::path(LUMORA_EXAMPLES_DIR) / file);
        const std::vector<DamageCase> more = fs::path(file).extension() == ".3ds"
                                                 ? modelCases(file, content)
                                                 : sceneTextCases(file, content);
        cases.insert(cases.end(), more.begin(), more.end());
    }
    return cases;
}

std::string caseName(const testing::TestParamInfo<DamageCase>& info) {
    std::string name = info.param.file + "_" + info.param.kind;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

// Lines that a run prints on its way; a failed run must have said something after them.
bool saysWhyItFailed(const std::string& output) {
    static const std::regex progress(
        R"(\s*(LUMORA v.*|Parsing \S+|Reading \S+\.\.\.|Computing normals\.\.\.)?\s*)");
    const std::size_t lastLine = output.find_last_of('\n', output.find_last_not_of(" \n\t"));
    const std::string last = output.substr(lastLine == std::string::npos ? 0 : lastLine);
    return !std::regex_match(last, progress);
}

class DamagedInput : public testing::TestWithParam<DamageCase> {
  protected:
    void SetUp() override {
        for (const auto& entry : fs::directory_iterator(LUMORA_EXAMPLES_DIR)) {
            fs::copy_file(entry.path(), dir_.path() / entry.path().filename());
        }
    }

    // Writes the damaged copy over the case's file; the other examples stay intact.
    void damage(const Damage& damage) const {
        std::string content = readFile(fs::path(LUMORA_EXAMPLES_DIR) / GetParam().file);
        if (damage.bytes.empty()) {
            content.resize(damage.at);
        } else {
            content.replace(damage.at, damage.bytes.size(), damage.bytes);
        }
        dir_.write(GetParam().file, content);
    }

    // Runs the program on the damaged copy and checks how the run ended.
    void expectCleanEnd(const std::string& program, std::vector<std::string> arguments) const {
        const std::vector<std::string>& entry = exampleEntries().at(GetParam().file);
        arguments.insert(arguments.end(), entry.begin(), entry.end());
        arguments.insert(arguments.end(), {"-r", std::to_string(kWidth), std::to_string(kHeight),
                                           "-ppm", "-o", "picture"});
        fs::remove(dir_.path() / "picture.ppm");
        const LimitedRun run = runProgramLimited(program, arguments, dir_.path(), kLimits);

        SCOPED_TRACE(fs::path(program).filename().string() + " on " + entry[1] + "; it printed:\n" +
                     run.output);
        EXPECT_FALSE(run.overTime) << "ran longer than " << kLimits.time.count() << " ms";
        EXPECT_FALSE(run.overMemory) << "held " << run.peakResidentKiB << " KiB";
        EXPECT_EQ(run.signal, 0) << "ended by signal " << run.signal;
        for (const char* report :
             {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"}) {
            EXPECT_EQ(run.output.find(report), std::string::npos) << "a sanitizer report";
        }
        if (run.exitStatus == 0) {
            const Picture picture = readPpm(dir_.path() / "picture.ppm");
            EXPECT_EQ(picture.width, kWidth);
            EXPECT_EQ(picture.height, kHeight);
            EXPECT_EQ(picture.pixels.size(), 3u * kWidth * kHeight) << "an incomplete picture";
        } else if (run.signal == 0) {
            EXPECT_TRUE(saysWhyItFailed(run.output))
                << "status " << run.exitStatus << " without a message";
            EXPECT_FALSE(fs::exists(dir_.path() / "picture.ppm")) << "a picture after a failure";
        }
        for (const auto& file : fs::directory_iterator(dir_.path())) {
            EXPECT_EQ(file.path().filename().string().find(".part"), std::string::npos)
                << "a picture in progress left behind: " << file.path().filename();
        }
    }

    TempDir dir_;
};

TEST_P(DamagedInput, BothProgramsEndWithAMessageOrAPicture) {
    for (const Damage& each : GetParam().damages) {
        SCOPED_TRACE(GetParam().file + ": " + each.what);
        damage(each);
        expectCleanEnd(LUMORA_BIN, {});
        expectCleanEnd(LUMORA_MT_BIN, {"-t", "2"});
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, DamagedInput, testing::ValuesIn(allCases()), caseName);

// The table covers every file the programs read from the examples, each through a program
// that reads it.
TEST(DamagedInputTable, CoversEveryExampleFile) {
    const auto entries = exampleEntries();
    for (const auto& entry : fs::directory_iterator(LUMORA_EXAMPLES_DIR)) {
        const std::string name = entry.path().filename();
        if (entry.path().extension() == ".py") continue;  // the generators, not read
        EXPECT_TRUE(entries.contains(name)) << name;
    }
    EXPECT_EQ(entries.at("torus.3ds"), (std::vector<std::string>{"-3ds", "torus.lms"}));
    EXPECT_EQ(entries.at("palette.lms")[0], "-i");
    EXPECT_EQ(entries.at("vase_mesh.lms"), (std::vector<std::string>{"-i", "vase.lms"}));
}

}  // namespace
