// The 3DS chunk reader. A 3DS file is a tree of chunks: a 2-byte id, a 4-byte length that
// counts the 6-byte header, then the chunk's own data followed by its child chunks. The
// reader knows the few chunks it needs and steps over every other one by its length.
//
// The whole main chunk is read into memory first and every chunk is then read through a
// cursor that cannot leave it, so a damaged file (a length that does not fit its parent, a
// count whose data runs past its chunk, a file that ends early) is reported instead of
// being read beyond its bounds. The walk through the chunks only checks the meshes' arrays
// and notes where they lie; they are decoded after it, several at once on the load's threads.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "import3ds/model3ds.h"
#include "model/format.h"
#include "model/input_file.h"
#include "model/large_pages.h"
#include "model/threads.h"

Model3DS g_3DModel;

namespace {

enum ChunkId : std::uint16_t {
    CHUNK_COLOUR_FLOAT = 0x0010,
    CHUNK_COLOUR_BYTE = 0x0011,
    CHUNK_COLOUR_BYTE_GAMMA = 0x0012,
    CHUNK_COLOUR_FLOAT_GAMMA = 0x0013,
    CHUNK_VERSION = 0x0002,
    CHUNK_EDITOR = 0x3D3D,
    CHUNK_OBJECT = 0x4000,
    CHUNK_MESH = 0x4100,
    CHUNK_VERTICES = 0x4110,
    CHUNK_FACES = 0x4120,
    CHUNK_FACE_MATERIAL = 0x4130,
    CHUNK_TEXTURE_COORDS = 0x4140,
    CHUNK_LIGHT = 0x4600,
    CHUNK_SPOTLIGHT = 0x4610,
    CHUNK_LIGHT_OFF = 0x4620,
    CHUNK_CAMERA = 0x4700,
    CHUNK_PRIMARY = 0x4D4D,
    CHUNK_MATERIAL_NAME = 0xA000,
    CHUNK_DIFFUSE = 0xA020,
    CHUNK_TEXTURE_MAP = 0xA200,
    CHUNK_MAP_FILE = 0xA300,
    CHUNK_MATERIAL = 0xAFFF,
};

constexpr std::uint32_t kHeaderSize = 6;

// A file read whole; the read fills every byte, so none is cleared first.
using FileBytes = LargePageVectorForOverwrite<std::uint8_t>;

// The bytes of a vertex (three floats), a face (three vertex numbers and a word of edge
// flags) and a texture coordinate (two floats).
constexpr std::size_t kVertexBytes = 12;
constexpr std::size_t kFaceBytes = 8;
constexpr std::size_t kTexCoordBytes = 8;

// The least work worth a thread of its own while a file is read: a megabyte of it.
constexpr std::size_t kLeastPiece = std::size_t{1} << 20;

// The threads worth starting for work on `bytes` of a file: one per kLeastPiece, at most as
// many as the render will use.
int threadsFor(std::size_t bytes) {
    return static_cast<int>(std::clamp<std::size_t>(bytes / kLeastPiece, 1, loadThreads()));
}

// Records of one kind in a chunk: the offset of the first in the file, and their number.
struct RecordSpan {
    std::size_t first = 0;
    std::size_t count = 0;
};

// Where the arrays of a mesh lie in the file. The walk through the chunks finds them; they
// are decoded once it is over, the arrays of all meshes at once.
enum MeshArray { VERTICES, FACES, TEXTURE_COORDS };
constexpr std::size_t kMeshArrays = 3;
struct MeshArrays {
    RecordSpan verts;
    RecordSpan faces;
    RecordSpan texVerts;
};

// Files written by modelling programs nest a handful of levels; a deeper tree is damage, and
// following it would only exhaust the stack.
constexpr int kMaxDepth = 64;

// Versions from 4 on added chunks this reader does not know.
constexpr unsigned kNewestKnownVersion = 3;

// Thrown where the file contradicts itself; import3DS reports it with the file's name.
struct Damage {
    std::string detail;
};

std::uint16_t littleShort(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t littleLong(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

float littleFloat(const std::uint8_t* p) {
    return std::bit_cast<float>(littleLong(p));
}

Point3f littlePoint(const std::uint8_t* p) {
    return {littleFloat(p), littleFloat(p + 4), littleFloat(p + 8)};
}

template <typename Record, typename Decode>
LargePageVector<Record> decodeRecords(const FileBytes& file, RecordSpan span, std::size_t size,
                                      Decode decode) {
    LargePageVector<Record> records(span.count);
    const std::uint8_t* at = file.data() + span.first;
    for (Record& record : records) {
        record = decode(at);
        at += size;
    }
    return records;
}

// Faces keep their three vertex numbers; the edge flags are dropped.
Face3DS decodeFace(const std::uint8_t* at) {
    Face3DS face{};
    for (int k = 0; k < 3; ++k) face.vertIndex[k] = littleShort(at + 2 * k);
    return face;
}

TexCoord3DS decodeTexCoord(const std::uint8_t* at) {
    return {littleFloat(at), littleFloat(at + 4)};
}

std::string cutName(const std::uint8_t* begin, const std::uint8_t* end) {
    const std::size_t size = std::min<std::size_t>(end - begin, kMaxNameLength3DS);
    return std::string(reinterpret_cast<const char*>(begin), size);
}

// The bytes of one chunk, consumed front to back and never past the chunk's end.
class ChunkCursor {
  public:
    ChunkCursor(const FileBytes& file, std::size_t start, Chunk3DS header, int depth)
        : file_(file), start_(start), chunk_(header), depth_(depth) {}

    std::uint16_t id() const { return chunk_.id; }
    bool done() const { return chunk_.bytesRead == chunk_.length; }
    std::size_t left() const { return chunk_.length - chunk_.bytesRead; }

    [[noreturn]] void fail(const std::string& detail) const {
        throw Damage{format("chunk 0x%04X at byte %zu ", unsigned{chunk_.id}, start_) + detail};
    }

    // Fails unless `bytes` more bytes are left; `what` names them in the report.
    void need(std::size_t bytes, const char* what) const {
        if (bytes > left()) fail(format("ends before its %s", what));
    }

    std::uint16_t readShort(const char* what) {
        need(2, what);
        return nextShort();
    }
    std::uint32_t readLong(const char* what) {
        need(4, what);
        return littleLong(take(4));
    }
    Point3f readPoint(const char* what) {
        need(12, what);
        return nextPoint();
    }

    // Steps over `count` records of `size` bytes, after checking they all fit, and returns
    // the offset of the first in the file.
    std::size_t skipRecords(std::size_t count, std::size_t size, const char* what) {
        if (count * size > left()) fail(format("ends before its %zu %s", count, what));
        const std::size_t first = start_ + chunk_.bytesRead;
        take(count * size);
        return first;
    }

    // A zero-terminated name followed by more data: the terminator must lie in the chunk.
    std::string readName() {
        const std::uint8_t* begin = here();
        const std::uint8_t* end = begin + left();
        const std::uint8_t* zero = std::find(begin, end, std::uint8_t{0});
        if (zero == end) fail("has a name without its terminating zero");
        take(zero - begin + 1);
        return cutName(begin, zero);
    }

    // A name that fills the rest of its chunk ends at its zero or at the chunk's end.
    std::string readRestAsName() {
        const std::uint8_t* begin = here();
        const std::uint8_t* end = begin + left();
        take(left());
        return cutName(begin, std::find(begin, end, std::uint8_t{0}));
    }

    void skipRest() { chunk_.bytesRead = chunk_.length; }

    // The next child chunk, checked against what is left of this one; this chunk is then
    // consumed past the whole child, whatever the caller reads of it.
    ChunkCursor nextChild() {
        const std::size_t at = start_ + chunk_.bytesRead;
        if (left() < kHeaderSize) {
            fail(format("has %zu stray bytes at byte %zu, too few for a chunk header", left(), at));
        }
        const std::uint8_t* header = take(kHeaderSize);
        const Chunk3DS child{littleShort(header), littleLong(header + 2), kHeaderSize};
        if (child.length < kHeaderSize) {
            throw Damage{format("chunk 0x%04X at byte %zu claims %u bytes, fewer than its header",
                                unsigned{child.id}, at, child.length)};
        }
        if (child.length - kHeaderSize > left()) {
            throw Damage{format(
                "chunk 0x%04X at byte %zu claims %u bytes, but its parent chunk 0x%04X has only "
                "%zu left",
                unsigned{child.id}, at, child.length, unsigned{chunk_.id}, left() + kHeaderSize)};
        }
        if (depth_ >= kMaxDepth) {
            throw Damage{format("chunk 0x%04X at byte %zu is nested more than %d chunks deep",
                                unsigned{child.id}, at, kMaxDepth)};
        }
        take(child.length - kHeaderSize);
        return ChunkCursor(file_, at, child, depth_ + 1);
    }

    // Unchecked reads, for data that a need() has found room for.
    std::uint8_t nextByte() { return *take(1); }
    std::uint16_t nextShort() { return littleShort(take(2)); }
    float nextFloat() { return littleFloat(take(4)); }
    Point3f nextPoint() { return littlePoint(take(12)); }

  private:
    const std::uint8_t* here() const { return file_.data() + start_ + chunk_.bytesRead; }
    const std::uint8_t* take(std::size_t bytes) {
        const std::uint8_t* at = here();
        chunk_.bytesRead += static_cast<std::uint32_t>(bytes);
        return at;
    }

    const FileBytes& file_;
    std::size_t start_;  // offset of the chunk's header in the file
    Chunk3DS chunk_;
    int depth_;
};

std::uint8_t colourByte(float value) {
    if (!(value > 0)) return 0;  // NaN too
    if (value >= 1) return 255;
    return static_cast<std::uint8_t>(std::lround(value * 255));
}

class Reader {
  public:
    explicit Reader(Model3DS& model) : model_(model) {}

    // Fills every mesh's arrays from where the walk found them in `file`, an array at a time
    // on each of the threads the file is worth.
    void decodeArrays(const FileBytes& file) {
        std::atomic<std::size_t> next{0};
        const std::size_t arrays = kMeshArrays * arrays_.size();
        onThreads(threadsFor(file.size()), [&](int) {
            for (std::size_t a = next++; a < arrays; a = next++) {
                decodeArray(file, a / kMeshArrays, static_cast<MeshArray>(a % kMeshArrays));
            }
        });
    }

    // Main chunks: the children of the primary chunk and of the editor chunk.
    void processNextChunk(ChunkCursor& parent) {
        while (!parent.done()) {
            ChunkCursor chunk = parent.nextChild();
            switch (chunk.id()) {
                case CHUNK_VERSION:
                    readVersion(chunk);
                    break;
                case CHUNK_EDITOR:
                    // Its first child is usually the mesh version (0x3D3E), which is unknown
                    // here and so skipped; exporters that leave it out start with a real child.
                    processNextChunk(chunk);
                    break;
                case CHUNK_OBJECT: {
                    model_.objects.emplace_back();
                    arrays_.emplace_back();
                    const std::size_t object = model_.objects.size() - 1;
                    model_.objects[object].name = chunk.readName();
                    processNextObjectChunk(chunk, object);
                    break;
                }
                case CHUNK_MATERIAL:
                    model_.materials.emplace_back();
                    processNextMaterialChunk(chunk, model_.materials.size() - 1);
                    break;
                default:  // the keyframer and everything unknown
                    break;
            }
        }
    }

  private:
    static void readVersion(ChunkCursor& chunk) {
        // The low half of the 32-bit version is the version proper.
        const std::uint32_t version = chunk.readLong("version number");
        if ((version & 0xFFFF) > kNewestKnownVersion) {
            std::printf(" This 3DS file is over version 3 so it may load incorrectly\n");
        }
    }

    // Children of a named object and of its triangle mesh.
    void processNextObjectChunk(ChunkCursor& parent, std::size_t object) {
        while (!parent.done()) {
            ChunkCursor chunk = parent.nextChild();
            switch (chunk.id()) {
                case CHUNK_MESH:
                    processNextObjectChunk(chunk, object);
                    break;
                case CHUNK_VERTICES:
                    arrays_[object].verts = skipCounted(chunk, kVertexBytes, "vertices");
                    break;
                case CHUNK_FACES:
                    arrays_[object].faces = skipFaces(chunk);
                    // The face-material lists and smoothing groups nested after the faces
                    // belong to the mesh.
                    processNextObjectChunk(chunk, object);
                    break;
                case CHUNK_FACE_MATERIAL:
                    readObjectMaterial(chunk, model_.objects[object]);
                    break;
                case CHUNK_TEXTURE_COORDS:
                    arrays_[object].texVerts =
                        skipCounted(chunk, kTexCoordBytes, "texture coordinates");
                    break;
                case CHUNK_LIGHT:
                    model_.lights.emplace_back();
                    readLightChunk(chunk, model_.lights.back());
                    break;
                case CHUNK_CAMERA:
                    model_.cameras.push_back(readCamera(chunk));
                    break;
                default:
                    break;
            }
        }
    }

    void decodeArray(const FileBytes& file, std::size_t object, MeshArray which) {
        Object3DS& mesh = model_.objects[object];
        const MeshArrays& arrays = arrays_[object];
        switch (which) {
            case VERTICES:
                mesh.verts = decodeRecords<Point3f>(file, arrays.verts, kVertexBytes, littlePoint);
                break;
            case FACES:
                mesh.faces = decodeRecords<Face3DS>(file, arrays.faces, kFaceBytes, decodeFace);
                break;
            case TEXTURE_COORDS:
                mesh.texVerts = decodeRecords<TexCoord3DS>(file, arrays.texVerts, kTexCoordBytes,
                                                           decodeTexCoord);
                break;
        }
    }

    // A 16-bit count followed by that many records; bytes after them are ignored.
    static RecordSpan skipCounted(ChunkCursor& chunk, std::size_t size, const char* what) {
        const std::size_t count = chunk.readShort("count");
        const std::size_t first = chunk.skipRecords(count, size, what);
        chunk.skipRest();
        return {first, count};
    }

    // The face list's own data; the chunks nested after it are read on.
    static RecordSpan skipFaces(ChunkCursor& chunk) {
        const std::size_t count = chunk.readShort("face count");
        return {chunk.skipRecords(count, kFaceBytes, "faces"), count};
    }

    // One object has one material: with several face-material lists the last known one wins.
    void readObjectMaterial(ChunkCursor& chunk, Object3DS& object) const {
        const std::string name = chunk.readName();
        for (std::size_t i = 0; i < model_.materials.size(); ++i) {
            if (model_.materials[i].name == name) {
                object.materialId = static_cast<int>(i);
                object.hasMaterial = true;
                if (!model_.materials[i].textureFile.empty()) object.hasTexture = true;
                break;
            }
        }
        chunk.skipRest();  // the numbers of the faces it covers
    }

    static Camera3DS readCamera(ChunkCursor& chunk) {
        Camera3DS camera;
        chunk.need(32, "camera");
        camera.position = chunk.nextPoint();
        camera.target = chunk.nextPoint();
        camera.bankAngle = chunk.nextFloat();
        camera.lens = chunk.nextFloat();
        chunk.skipRest();
        return camera;
    }

    // Several exporters give a light's colour only as bytes, and a gamma-corrected copy of
    // them after the first; the float colour wins when both are given.
    static void readLightChunk(ChunkCursor& parent, Light3DS& light) {
        light.position = parent.readPoint("light position");
        light.spot = 0;
        light.multiplier = 1;
        bool floatColour = false;
        bool byteColour = false;
        while (!parent.done()) {
            ChunkCursor chunk = parent.nextChild();
            switch (chunk.id()) {
                case CHUNK_COLOUR_FLOAT:
                    chunk.need(12, "colour");
                    for (float& c : light.colour) c = chunk.nextFloat();
                    floatColour = true;
                    break;
                case CHUNK_COLOUR_BYTE:
                case CHUNK_COLOUR_BYTE_GAMMA:
                    if (byteColour) break;
                    chunk.need(3, "colour");
                    for (std::uint8_t& c : light.colour24) c = chunk.nextByte();
                    byteColour = true;
                    break;
                case CHUNK_SPOTLIGHT:
                    chunk.need(20, "spotlight");
                    light.target = chunk.nextPoint();
                    light.hotspot = chunk.nextFloat();
                    light.falloff = chunk.nextFloat();
                    light.spot = 1;
                    break;
                case CHUNK_LIGHT_OFF:
                    chunk.need(1, "flag");
                    light.off = chunk.nextByte();
                    break;
                default:
                    break;
            }
        }
        if (byteColour && !floatColour) {
            for (int c = 0; c < 3; ++c) light.colour[c] = light.colour24[c] / 255.0f;
        }
    }

    // Children of a material and of its texture maps.
    void processNextMaterialChunk(ChunkCursor& parent, std::size_t material) {
        while (!parent.done()) {
            ChunkCursor chunk = parent.nextChild();
            switch (chunk.id()) {
                case CHUNK_MATERIAL_NAME:
                    model_.materials[material].name = chunk.readRestAsName();
                    break;
                case CHUNK_DIFFUSE:
                    readDiffuse(chunk, model_.materials[material]);
                    break;
                case CHUNK_TEXTURE_MAP:
                    processNextMaterialChunk(chunk, material);
                    break;
                case CHUNK_MAP_FILE:
                    model_.materials[material].textureFile = chunk.readRestAsName();
                    break;
                default:
                    break;
            }
        }
    }

    // The first colour chunk inside decides; exporters often add a gamma-corrected copy
    // after it, which is ignored. Colours written as floats are turned into bytes.
    static void readDiffuse(ChunkCursor& chunk, Material3DS& material) {
        if (chunk.done()) chunk.fail("holds no colour chunk");
        ChunkCursor colour = chunk.nextChild();
        if (colour.id() == CHUNK_COLOUR_FLOAT || colour.id() == CHUNK_COLOUR_FLOAT_GAMMA) {
            colour.need(12, "colour");
            for (std::uint8_t& c : material.colour) c = colourByte(colour.nextFloat());
        } else {
            colour.need(3, "colour");
            for (std::uint8_t& c : material.colour) c = colour.nextByte();
        }
    }

    Model3DS& model_;
    std::vector<MeshArrays> arrays_;  // one per object
};

// Faces are read before or after their vertices; only the finished mesh can be checked.
void checkFaces(const Model3DS& model) {
    for (const Object3DS& object : model.objects) {
        const std::size_t count = object.verts.size();
        for (std::size_t f = 0; f < object.faces.size(); ++f) {
            for (const int index : object.faces[f].vertIndex) {
                if (static_cast<std::size_t>(index) >= count) {
                    throw Damage{
                        format("face %zu of object \"%s\" uses vertex %d, but the object "
                               "has %zu vertices",
                               f, object.name.c_str(), index, count)};
                }
            }
        }
    }
}

// Reads the file's first `length` bytes into `into` in pieces of kLeastPiece, which as many
// threads as the length is worth take as they come free: the pages of a large buffer take
// longer to touch for the first time than to fill, and each piece's pages are touched by the
// thread that reads it. Returns how many bytes lie before the first one the file did not hold.
std::size_t readInPieces(int descriptor, std::uint8_t* into, std::size_t length) {
    const std::size_t pieces = (length + kLeastPiece - 1) / kLeastPiece;
    std::vector<std::size_t> read(pieces);
    std::atomic<std::size_t> next{0};
    onThreads(threadsFor(length), [&](int) {
        for (std::size_t piece = next++; piece < pieces; piece = next++) {
            const std::size_t begin = piece * kLeastPiece;
            const std::size_t end = std::min(begin + kLeastPiece, length);
            std::size_t at = begin;
            while (at < end) {
                const ssize_t got = pread(descriptor, into + at, end - at, static_cast<off_t>(at));
                if (got < 0 && errno == EINTR) continue;
                if (got <= 0) break;
                at += static_cast<std::size_t>(got);
            }
            read[piece] = at - begin;
        }
    });
    std::size_t whole = 0;
    for (std::size_t piece = 0; piece < pieces; ++piece) {
        whole += read[piece];
        if (whole < std::min((piece + 1) * kLeastPiece, length)) break;
    }
    return whole;
}

// The main chunk's bytes, header included; its length must fit in the file.
FileBytes readMainChunk(std::FILE* file, std::uint32_t length) {
    if (length < kHeaderSize) {
        throw Damage{format("its main chunk claims %u bytes, fewer than its header", length)};
    }
    struct stat info;
    const long long size = fstat(fileno(file), &info) == 0 ? info.st_size : 0;
    if (static_cast<long long>(length) > size) {
        throw Damage{
            format("it ends at byte %lld, but its main chunk claims %u bytes", size, length)};
    }
    // In large pages where the system has them: a large model is read whole, and faulting its
    // buffer in page by page would take longer than the read.
    FileBytes bytes(length);
    const std::size_t got = readInPieces(fileno(file), bytes.data(), length);
    if (got != length) {
        throw Damage{
            format("it ends at byte %zu, but its main chunk claims %u bytes", got, length)};
    }
    return bytes;
}

}  // namespace

int import3DS(Model3DS& model, const char* path, int withNormals) {
    model = Model3DS{};
    const FilePtr file = openRegularFile(path, "rb");
    if (!file) {
        const std::string message = std::string("Unable to find the file: ") + path + "!";
        std::printf(" %s\n", message.c_str());
        return 0;
    }

    std::uint8_t header[kHeaderSize];
    if (std::fread(header, 1, kHeaderSize, file.get()) != kHeaderSize ||
        (header[0] | header[1] << 8) != CHUNK_PRIMARY) {
        const std::string message =
            std::string(" Unable to load PRIMARY chuck from file: ") + path + "!";
        std::printf(" %s\n", message.c_str());
        return 0;
    }
    std::printf("\n Reading %s...\n", path);

    try {
        const std::uint32_t length = static_cast<std::uint32_t>(header[2]) |
                                     static_cast<std::uint32_t>(header[3]) << 8 |
                                     static_cast<std::uint32_t>(header[4]) << 16 |
                                     static_cast<std::uint32_t>(header[5]) << 24;
        const FileBytes bytes = readMainChunk(file.get(), length);
        ChunkCursor primary(bytes, 0, Chunk3DS{CHUNK_PRIMARY, length, kHeaderSize}, 0);
        Reader reader(model);
        reader.processNextChunk(primary);
        reader.decodeArrays(bytes);
        checkFaces(model);
    } catch (const Damage& damage) {
        std::printf(" Damaged 3DS file %s: %s\n", path, damage.detail.c_str());
        model = Model3DS{};
        return 0;
    }

    if (withNormals == 1) {
        std::printf(" Computing normals...\n");
        computeNormals(model);
    }
    return 1;
}
