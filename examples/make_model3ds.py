#!/usr/bin/env python3
"""Writes examples/torus.3ds: a tilted torus and a sphere on a floor, with three materials,
a camera and two lights. Render it with examples/torus.lms:

    lumora -3ds examples/torus.lms

Python 3 standard library only. The chunk helpers are also used by bench/ to build large
models.
"""

import math
import struct
import sys
from pathlib import Path

MAX_COUNT = 0xFFFF  # vertex and face counts are 16-bit


def chunk(chunk_id, data=b"", *children):
    """One chunk: id, length (header included), its own data, then its children."""
    body = data + b"".join(children)
    return struct.pack("<HI", chunk_id, 6 + len(body)) + body


def name(text):
    return text.encode("ascii") + b"\0"


def floats(*values):
    return struct.pack(f"<{len(values)}f", *values)


def material(material_name, colour, as_floats=False):
    """A material with a diffuse colour given as bytes (0..255) or as floats (0..1)."""
    if as_floats:
        diffuse = chunk(0x0010, floats(*colour))
    else:
        diffuse = chunk(0x0011, bytes(colour))
    return chunk(0xAFFF, b"", chunk(0xA000, name(material_name)), chunk(0xA020, b"", diffuse))


def mesh(object_name, vertices, faces, material_name):
    """A named triangle mesh; faces are index triples wound counter-clockwise from outside."""
    if len(vertices) > MAX_COUNT or len(faces) > MAX_COUNT:
        raise ValueError(f"{object_name}: more than {MAX_COUNT} vertices or faces")
    vertex_list = chunk(0x4110, struct.pack("<H", len(vertices)) +
                        b"".join(floats(*v) for v in vertices))
    face_material = chunk(0x4130, name(material_name) + struct.pack("<H", len(faces)) +
                          struct.pack(f"<{len(faces)}H", *range(len(faces))))
    face_list = chunk(0x4120, struct.pack("<H", len(faces)) +
                      b"".join(struct.pack("<4H", a, b, c, 7) for a, b, c in faces),
                      face_material)
    return chunk(0x4000, name(object_name), chunk(0x4100, b"", vertex_list, face_list))


def camera(object_name, position, target, lens):
    return chunk(0x4000, name(object_name), chunk(0x4700, floats(*position, *target, 0, lens)))


def light(object_name, position, colour):
    return chunk(0x4000, name(object_name),
                 chunk(0x4600, floats(*position), chunk(0x0010, floats(*colour))))


def model(*contents):
    """A whole file: version 3, then the editor chunk with the meshes, materials and views."""
    editor = chunk(0x3D3D, b"", chunk(0x3D3E, struct.pack("<I", 3)), *contents)
    return chunk(0x4D4D, b"", chunk(0x0002, struct.pack("<I", 3)), editor)


def rotate_x(point, angle):
    x, y, z = point
    c, s = math.cos(angle), math.sin(angle)
    return (x, y * c - z * s, y * s + z * c)


def torus_grid(major, minor, rings, sides, ring_range=None, tilt=0.0, centre=(0, 0, 0)):
    """Vertices and faces of a torus around the z axis (then tilted about x), or of the band
    of rings ring_range = (first, last) of it, so that a large torus can be cut into meshes
    that fit the 16-bit counts."""
    first, last = ring_range or (0, rings)
    closed = ring_range is None  # a whole torus shares its first ring as its last
    ring_count = last - first if closed else last - first + 1
    vertices = []
    for i in range(first, first + ring_count):
        u = 2 * math.pi * i / rings
        for j in range(sides):
            v = 2 * math.pi * j / sides
            r = major + minor * math.cos(v)
            p = rotate_x((r * math.cos(u), r * math.sin(u), minor * math.sin(v)), tilt)
            vertices.append(tuple(p[k] + centre[k] for k in range(3)))
    faces = []
    for i in range(last - first):
        i1 = (i + 1) % ring_count if closed else i + 1
        for j in range(sides):
            j1 = (j + 1) % sides
            a, b = i * sides + j, i1 * sides + j
            c, d = i1 * sides + j1, i * sides + j1
            faces += [(a, b, c), (a, c, d)]
    return vertices, faces


def sphere(radius, centre, stacks, slices):
    """A UV sphere: one vertex at each pole, rings of `slices` in between."""
    cx, cy, cz = centre
    vertices = [(cx, cy, cz + radius)]
    for i in range(1, stacks):
        t = math.pi * i / stacks
        for j in range(slices):
            p = 2 * math.pi * j / slices
            vertices.append((cx + radius * math.sin(t) * math.cos(p),
                             cy + radius * math.sin(t) * math.sin(p),
                             cz + radius * math.cos(t)))
    vertices.append((cx, cy, cz - radius))
    bottom = len(vertices) - 1
    faces = []
    for j in range(slices):
        faces.append((0, 1 + j, 1 + (j + 1) % slices))
    for i in range(stacks - 2):
        row, below = 1 + i * slices, 1 + (i + 1) * slices
        for j in range(slices):
            j1 = (j + 1) % slices
            faces += [(row + j, below + j, below + j1), (row + j, below + j1, row + j1)]
    last = 1 + (stacks - 2) * slices
    for j in range(slices):
        faces.append((bottom, last + (j + 1) % slices, last + j))
    return vertices, faces


def floor(size, height=0.0):
    s = size
    return [(-s, -s, height), (s, -s, height), (s, s, height), (-s, s, height)], \
        [(0, 1, 2), (0, 2, 3)]


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("torus.3ds")
    tilt = math.radians(60)
    major, minor = 1.0, 0.36
    # Lowest point of the tilted torus: its tube's bottom where the ring dips furthest.
    lift = major * math.sin(tilt) + minor + 0.02
    torus = torus_grid(major, minor, 72, 32, tilt=tilt, centre=(-0.75, 0.2, lift))
    ball = sphere(0.75, (1.35, -0.55, 0.75), 32, 48)
    data = model(
        material("Copper", (222, 110, 58)),
        material("Jade", (0.22, 0.68, 0.52), as_floats=True),
        material("Stone", (200, 196, 188)),
        mesh("Torus", *torus, "Copper"),
        mesh("Ball", *ball, "Jade"),
        mesh("Floor", *floor(12), "Stone"),
        camera("Camera", (4.6, -6.4, 3.4), (0.15, 0.0, 0.85), 45),
        light("Key", (-5.0, -6.0, 9.0), (1.0, 0.96, 0.9)),
        light("Fill", (7.0, 3.0, 3.5), (0.45, 0.5, 0.62)),
    )
    out.write_bytes(data)
    print(f"wrote {out} ({len(data)} bytes)")


if __name__ == "__main__":
    main()
