#pragma once

// Writes 3DS files for the tests: chunks of little-endian data followed by child chunks,
// and the records a model is made of. Every chunk knows where it lands in the file, so a
// test can damage one chunk of a valid file on purpose.

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "import3ds/model3ds.h"

namespace chunk3ds {

class Chunk {
  public:
    explicit Chunk(std::uint16_t id) : id_(id) {}

    Chunk& byte(std::uint8_t value) {
        data_ += static_cast<char>(value);
        return *this;
    }
    Chunk& word(std::uint16_t value) { return byte(value & 0xFF).byte(value >> 8); }
    Chunk& dword(std::uint32_t value) { return word(value & 0xFFFF).word(value >> 16); }
    Chunk& real(float value) { return dword(std::bit_cast<std::uint32_t>(value)); }
    Chunk& point(Point3f p) { return real(p.x).real(p.y).real(p.z); }
    Chunk& name(const std::string& text) {  // zero-terminated
        data_ += text;
        return byte(0);
    }
    Chunk& raw(const std::string& bytes) {
        data_ += bytes;
        return *this;
    }
    // Children follow the chunk's own data.
    Chunk& add(const Chunk& child) {
        children_.push_back(child);
        return *this;
    }

    std::uint16_t id() const { return id_; }
    std::uint32_t length() const {
        std::uint32_t length = 6 + static_cast<std::uint32_t>(data_.size());
        for (const Chunk& child : children_) length += child.length();
        return length;
    }

    std::string bytes() const {
        std::string out;
        Chunk header(0);
        header.word(id_).dword(length());
        out += header.data_;
        out += data_;
        for (const Chunk& child : children_) out += child.bytes();
        return out;
    }

    // Where each chunk's header lies in bytes(): this chunk, then its children depth first.
    struct Span {
        std::uint16_t id;
        std::size_t offset;
        std::uint32_t length;
        std::uint32_t room;  // bytes its parent has left for it from its header on
    };
    std::vector<Span> layout() const {
        std::vector<Span> spans;
        collect(0, length(), spans);
        return spans;
    }

  private:
    void collect(std::size_t offset, std::uint32_t room, std::vector<Span>& spans) const {
        spans.push_back({id_, offset, length(), room});
        std::size_t at = offset + 6 + data_.size();
        const std::size_t end = offset + length();
        for (const Chunk& child : children_) {
            child.collect(at, static_cast<std::uint32_t>(end - at), spans);
            at += child.length();
        }
    }

    std::uint16_t id_;
    std::string data_;
    std::vector<Chunk> children_;
};

struct Triangle {
    std::uint16_t a, b, c;
};

inline Chunk byteColour(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return Chunk(0x0011).byte(r).byte(g).byte(b);
}

inline Chunk gammaByteColour(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return Chunk(0x0012).byte(r).byte(g).byte(b);
}

inline Chunk floatColour(float r, float g, float b) {
    return Chunk(0x0010).real(r).real(g).real(b);
}

inline Chunk material(const std::string& name, const Chunk& colour) {
    return Chunk(0xAFFF).add(Chunk(0xA000).name(name)).add(Chunk(0xA020).add(colour));
}

// A named object holding a triangle mesh; a non-empty `materialName` adds the face-material
// list, nested at the end of the face list as exporters write it.
inline Chunk mesh(const std::string& name, const std::vector<Point3f>& vertices,
                  const std::vector<Triangle>& faces, const std::string& materialName = "") {
    Chunk vertexList(0x4110);
    vertexList.word(static_cast<std::uint16_t>(vertices.size()));
    for (const Point3f& v : vertices) vertexList.point(v);

    Chunk faceList(0x4120);
    faceList.word(static_cast<std::uint16_t>(faces.size()));
    for (const Triangle& f : faces) faceList.word(f.a).word(f.b).word(f.c).word(7);
    if (!materialName.empty()) {
        Chunk faceMaterial(0x4130);
        faceMaterial.name(materialName).word(static_cast<std::uint16_t>(faces.size()));
        for (std::size_t i = 0; i < faces.size(); ++i) {
            faceMaterial.word(static_cast<std::uint16_t>(i));
        }
        faceList.add(faceMaterial);
    }
    return Chunk(0x4000).name(name).add(Chunk(0x4100).add(vertexList).add(faceList));
}

// A strip of `count` triangles, all wound the same way, in the plane z = height.
inline Chunk strip(const std::string& name, int count, const std::string& materialName,
                   float height = 0) {
    std::vector<Point3f> vertices;
    std::vector<Triangle> faces;
    for (int i = 0; i < count + 2; ++i) {
        vertices.push_back({static_cast<float>(i / 2), static_cast<float>(i % 2), height});
    }
    for (int i = 0; i < count; ++i) {
        const auto v = static_cast<std::uint16_t>(i);
        faces.push_back(i % 2 == 0 ? Triangle{v, static_cast<std::uint16_t>(v + 2),
                                              static_cast<std::uint16_t>(v + 1)}
                                   : Triangle{v, static_cast<std::uint16_t>(v + 1),
                                              static_cast<std::uint16_t>(v + 2)});
    }
    return mesh(name, vertices, faces, materialName);
}

inline Chunk camera(const std::string& name, Point3f position, Point3f target, float lens,
                    float bank = 0) {
    return Chunk(0x4000).name(name).add(
        Chunk(0x4700).point(position).point(target).real(bank).real(lens));
}

inline Chunk light(const std::string& name, Point3f position,
                   std::initializer_list<Chunk> children = {}) {
    Chunk light(0x4600);
    light.point(position);
    for (const Chunk& child : children) light.add(child);
    return Chunk(0x4000).name(name).add(light);
}

// A whole file: the version chunk and an editor chunk (opened by its mesh version) that
// holds `contents`.
inline Chunk model(std::initializer_list<Chunk> contents, std::uint32_t version = 3) {
    Chunk editor(0x3D3D);
    editor.add(Chunk(0x3D3E).dword(3));
    for (const Chunk& chunk : contents) editor.add(chunk);
    return Chunk(0x4D4D).add(Chunk(0x0002).dword(version)).add(editor);
}

}  // namespace chunk3ds
