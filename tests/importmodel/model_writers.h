#pragma once

// The cube [-1, 1]^3 written by the tests in several model formats: 8 corners, 12 triangles
// wound outwards (OBJ writes its six squares, which the importer splits).

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace cube {

inline const std::array<std::array<float, 3>, 8> kCorners = {{
    {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
    {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1},
}};
inline const std::array<std::array<int, 3>, 12> kTriangles = {{
    {0, 3, 2}, {0, 2, 1}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
    {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7},
}};

// With a material of diffuse colour `kd` (three numbers) in cube.mtl, which the caller writes
// with objMaterial.
inline std::string obj() {
    std::string text = "mtllib cube.mtl\n";
    for (const auto& c : kCorners) {
        text += "v " + std::to_string(c[0]) + ' ' + std::to_string(c[1]) + ' ' +
                std::to_string(c[2]) + '\n';
    }
    text += "usemtl paint\n";
    const int squares[6][4] = {{1, 4, 3, 2}, {5, 6, 7, 8}, {1, 2, 6, 5},
                               {2, 3, 7, 6}, {3, 4, 8, 7}, {4, 1, 5, 8}};
    for (const auto& s : squares) {
        text += "f " + std::to_string(s[0]) + ' ' + std::to_string(s[1]) + ' ' +
                std::to_string(s[2]) + ' ' + std::to_string(s[3]) + '\n';
    }
    return text;
}

inline std::string objMaterial(const std::string& kd) {
    return "newmtl paint\nKd " + kd + "\n";
}

inline std::string plyHeader(const char* format) {
    return std::string("ply\nformat ") + format +
           " 1.0\nelement vertex 8\nproperty float x\nproperty float y\nproperty float z\n"
           "element face 12\nproperty list uchar int vertex_indices\nend_header\n";
}

inline std::string plyAscii() {
    std::string text = plyHeader("ascii");
    for (const auto& c : kCorners) {
        text += std::to_string(c[0]) + ' ' + std::to_string(c[1]) + ' ' + std::to_string(c[2]) +
                '\n';
    }
    for (const auto& t : kTriangles) {
        text += "3 " + std::to_string(t[0]) + ' ' + std::to_string(t[1]) + ' ' +
                std::to_string(t[2]) + '\n';
    }
    return text;
}

template <typename T>
void appendBytes(std::string& out, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.append(bytes, sizeof(T));
}

inline std::string plyBinary() {
    std::string data = plyHeader("binary_little_endian");
    for (const auto& c : kCorners) {
        for (float x : c) appendBytes(data, x);
    }
    for (const auto& t : kTriangles) {
        appendBytes(data, static_cast<std::uint8_t>(3));
        for (int i : t) appendBytes(data, static_cast<std::int32_t>(i));
    }
    return data;
}

inline std::string stlAscii() {
    std::string text = "solid cube\n";
    for (const auto& t : kTriangles) {
        text += "facet normal 0 0 0\nouter loop\n";
        for (int i : t) {
            const auto& c = kCorners[static_cast<std::size_t>(i)];
            text += "vertex " + std::to_string(c[0]) + ' ' + std::to_string(c[1]) + ' ' +
                    std::to_string(c[2]) + '\n';
        }
        text += "endloop\nendfacet\n";
    }
    return text + "endsolid cube\n";
}

inline std::string base64(const std::string& bytes) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t n = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) n |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) n |= static_cast<std::uint8_t>(bytes[i + 2]);
        text += digits[(n >> 18) & 63];
        text += digits[(n >> 12) & 63];
        text += i + 1 < bytes.size() ? digits[(n >> 6) & 63] : '=';
        text += i + 2 < bytes.size() ? digits[n & 63] : '=';
    }
    return text;
}

// A glTF 2.0 file with its buffer inline, the cube's node moved by `translation`.
inline std::string gltf(const std::string& translation = "0, 0, 0") {
    std::string buffer;
    for (const auto& c : kCorners) {
        for (float x : c) appendBytes(buffer, x);
    }
    for (const auto& t : kTriangles) {
        for (int i : t) appendBytes(buffer, static_cast<std::uint16_t>(i));
    }
    const std::size_t indexBytes = kTriangles.size() * 3 * 2;
    return R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}],
"nodes": [{"mesh": 0, "translation": [)" + translation + R"(]}],
"meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "indices": 1}]}],
"buffers": [{"byteLength": )" + std::to_string(buffer.size()) +
           R"(, "uri": "data:application/octet-stream;base64,)" + base64(buffer) + R"("}],
"bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 96},
                {"buffer": 0, "byteOffset": 96, "byteLength": )" + std::to_string(indexBytes) + R"(}],
"accessors": [{"bufferView": 0, "componentType": 5126, "count": 8, "type": "VEC3",
               "min": [-1, -1, -1], "max": [1, 1, 1]},
              {"bufferView": 1, "componentType": 5123, "count": 36, "type": "SCALAR"}]}
)";
}

}  // namespace cube
