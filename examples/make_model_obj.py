#!/usr/bin/env python3
"""Writes examples/knot.obj and examples/knot.mtl: a trefoil knot drawn as a tube, in two
materials (alternate stretches of copper and jade), its vertex normals in the file. It is
y-up, as most OBJ exports are. Render it with examples/knot.lms:

    lumora -i examples/knot.lms

Python 3 standard library only.
"""

import math
import sys
from pathlib import Path

SEGMENTS, SIDES = 240, 18  # 240 x 18 x 2 = 8,640 triangles
TUBE = 0.38
STRETCHES = 6  # the materials alternate along the knot


def centre(t):
    """A point of the trefoil knot, y-up, about 3 across."""
    x = math.sin(t) + 2 * math.sin(2 * t)
    z = math.cos(t) - 2 * math.cos(2 * t)
    y = -math.sin(3 * t)
    return (0.55 * x, 0.55 * y + 1.6, 0.55 * z)


def sub(a, b):
    return tuple(a[i] - b[i] for i in range(3))


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def unit(v):
    n = math.sqrt(sum(c * c for c in v))
    return tuple(c / n for c in v)


def tube():
    """Vertices, normals and the faces of each stretch: rings of SIDES around the knot, each
    ring's frame carried along from the last one so the tube does not twist."""
    vertices, normals = [], []
    normal = None
    for i in range(SEGMENTS):
        t = 2 * math.pi * i / SEGMENTS
        tangent = unit(sub(centre(t + 1e-4), centre(t - 1e-4)))
        if normal is None:
            normal = unit(cross(tangent, (0.0, 1.0, 0.0)))
        normal = unit(cross(cross(tangent, normal), tangent))
        binormal = cross(tangent, normal)
        c = centre(t)
        for j in range(SIDES):
            a = 2 * math.pi * j / SIDES
            n = tuple(math.cos(a) * normal[k] + math.sin(a) * binormal[k] for k in range(3))
            normals.append(n)
            vertices.append(tuple(c[k] + TUBE * n[k] for k in range(3)))
    stretches = [[] for _ in range(STRETCHES)]
    for i in range(SEGMENTS):
        i1 = (i + 1) % SEGMENTS
        faces = stretches[i * STRETCHES // SEGMENTS]
        for j in range(SIDES):
            j1 = (j + 1) % SIDES
            a, b = i * SIDES + j, i1 * SIDES + j
            c, d = i1 * SIDES + j1, i * SIDES + j1
            faces += [(a, d, c), (a, c, b)]
    return vertices, normals, stretches


def obj_text(vertices, normals, stretches):
    lines = ["# A trefoil knot, y-up, written by make_model_obj.py", "mtllib knot.mtl"]
    lines += [f"v {x:.4f} {y:.4f} {z:.4f}" for x, y, z in vertices]
    lines += [f"vn {x:.4f} {y:.4f} {z:.4f}" for x, y, z in normals]
    for k, faces in enumerate(stretches):
        lines.append("usemtl " + ("copper" if k % 2 == 0 else "jade"))
        lines += ["f " + " ".join(f"{v + 1}//{v + 1}" for v in face) for face in faces]
    return "\n".join(lines) + "\n"


MTL = """# The knot's two materials: only the diffuse colours are read.
newmtl copper
Kd 0.85 0.45 0.25
newmtl jade
Kd 0.25 0.65 0.45
"""


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent
    vertices, normals, stretches = tube()
    (out / "knot.obj").write_text(obj_text(vertices, normals, stretches))
    (out / "knot.mtl").write_text(MTL)


if __name__ == "__main__":
    main()
