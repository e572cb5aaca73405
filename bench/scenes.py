#!/usr/bin/env python3
"""The benchmark scenes of lumora, written deterministically (the same bytes on every run).

    python3 bench/scenes.py OUTDIR [NAME ...] [--resolution W H]

writes the named scenes (all of them when none is named) into OUTDIR and reports their sizes.
The files are written for the scenes' own resolutions unless another is given (the Tachyon
camera depends on it by half a pixel; the other files do not, since the renderers' size
options override the files' settings).
Scenes built from shapes (spheres1000, torus100k, glass, lowerhalf, primitives) also get a
POV-Ray file (NAME.pov) and a Tachyon file (NAME.tachyon) showing the same picture: same
camera, geometry and lights, surfaces as close as each renderer allows, six levels of rays
and no anti-aliasing. bench/run.py renders them all and compares the times.

As a module (`import scenes` from bench/), SCENES lists every scene with its name, the lumora
arguments that render it, its default resolution and the files of the other renderers.
Python 3 standard library only.
"""

import argparse
import math
import random
import shutil
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "examples"))
import make_model3ds as m3ds  # noqa: E402  (the chunk writer of the shipped example)

# Scenes drawn from shapes are framed for this picture; run.py may ask for another size, and
# every renderer then stretches the same field of view over it.
DEFAULT_RESOLUTION = (1920, 1440)
RATIO = DEFAULT_RESOLUTION[0] / DEFAULT_RESOLUTION[1]
RAY_LEVELS = 6  # lumora traces depths 0 to 5; the peers are given the same number of levels


# ---------------------------------------------------------------------------------------------
# Vectors


def add(a, b):
    return (a[0] + b[0], a[1] + b[1], a[2] + b[2])


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def scale(k, a):
    return (k * a[0], k * a[1], k * a[2])


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def unit(a):
    length = math.sqrt(dot(a, a))
    return (a[0] / length, a[1] / length, a[2] / length)


def num(x):
    """A number short enough for large files: six significant digits, never an exponent
    (values this small are rounding noise of a zero), never a negative zero."""
    if abs(x) < 1e-6:
        return "0"
    return "%.6g" % x


def triple(v, sep=" "):
    return sep.join(num(c) for c in v)


# ---------------------------------------------------------------------------------------------
# A renderer-neutral scene


@dataclass(frozen=True)
class Material:
    """Lumora's surface terms; the peers' files translate them as closely as they can."""
    name: str
    color: tuple
    ambient: float = 0.1
    diffuse: float = 0.8
    specular: float = 0.0    # Phong highlight of the light's colour
    roughness: float = 20.0  # the highlight's exponent
    reflection: float = 0.0
    refraction: float = 0.0
    ior: float = 1.0


@dataclass(frozen=True)
class Camera:
    position: tuple
    look_at: tuple
    up: tuple = (0.0, 0.0, 1.0)
    fov: float = 60.0  # full horizontal angle in degrees
    ratio: float = RATIO

    def frame(self):
        """Lumora's viewing frame: the unit view, right and up vectors and the tangents of the
        half-angles. Its vertical half-angle is the horizontal one divided by the ratio (the
        angle, not its tangent), which the peers' cameras reproduce through these tangents."""
        view = unit(sub(self.look_at, self.position))
        right = unit(cross(view, self.up))
        up = unit(cross(right, view))
        half = math.radians(self.fov) / 2
        return view, right, up, math.tan(half), math.tan(half / self.ratio)

    def ray(self, sx, sy):
        """Direction through the picture point (sx, sy), both in [-1, 1], y upwards."""
        view, right, up, tan_h, tan_v = self.frame()
        return unit(add(view, add(scale(sx * tan_h, right), scale(sy * tan_v, up))))


@dataclass(frozen=True)
class Light:
    position: tuple
    color: tuple


@dataclass
class World:
    """Shapes are tuples led by their kind:
    ("sphere", centre, radius), ("plane", unit normal, distance), ("disc", centre, normal,
    radius), ("ring", centre, normal, inner, outer), ("cylinder", base, cap, radius),
    ("cone", base, cap, base radius, cap radius), ("polygon", vertices) of a convex polygon,
    ("triangle", vertices), ("smooth_triangle", vertices, normals) and ("mesh", vertices,
    normals, faces) for a smooth triangle mesh written as separate smooth triangles."""
    camera: Camera
    lights: list
    background: tuple
    objects: list = field(default_factory=list)  # (Material, shape)

    def add(self, material, shape):
        self.objects.append((material, shape))

    def primitive_count(self):
        return sum(len(s[3]) if s[0] == "mesh" else 1 for _, s in self.objects)

    def grouped(self):
        """The objects in runs of one material, in the order the materials first appear, so
        that each file declares a surface once per run rather than once per object."""
        order, groups = [], {}
        for material, shape in self.objects:
            if material.name not in groups:
                order.append(material)
                groups[material.name] = []
            groups[material.name].append(shape)
        return [(m, groups[m.name]) for m in order]


# ---------------------------------------------------------------------------------------------
# Lumora's scene language


def lumora_surface(m):
    text = [f"surface {{ color {triple(m.color)} ambient {num(m.ambient)} "
            f"diffuse {num(m.diffuse)}"]
    if m.specular > 0:
        text.append(f" specular {num(m.specular)} roughness {num(m.roughness)}")
    if m.reflection > 0:
        text.append(f" reflection {num(m.reflection)}")
    if m.refraction > 0:
        text.append(f" refraction {num(m.refraction)} refraction_index {num(m.ior)}")
    return "".join(text) + " }\n"


def lumora_shape(shape, out):
    kind = shape[0]
    v = lambda p: f"<{triple(p)}>"  # noqa: E731
    if kind == "sphere":
        out.append(f"sphere {{ center {v(shape[1])} radius {num(shape[2])} }}\n")
    elif kind == "plane":
        out.append(f"plane {{ normal {v(shape[1])} distance {num(shape[2])} }}\n")
    elif kind == "disc":
        out.append(f"disc {{ center {v(shape[1])} normal {v(shape[2])} radius {num(shape[3])} }}\n")
    elif kind == "ring":
        out.append(f"ring {{ center {v(shape[1])} normal {v(shape[2])} "
                   f"internal_radius {num(shape[3])} external_radius {num(shape[4])} }}\n")
    elif kind == "cylinder":
        out.append(f"cylinder {{ base {v(shape[1])} cap {v(shape[2])} radius {num(shape[3])} }}\n")
    elif kind == "cone":
        out.append(f"cone {{ base {v(shape[1])} cap {v(shape[2])} "
                   f"base_radius {num(shape[3])} cap_radius {num(shape[4])} }}\n")
    elif kind == "polygon":
        points = " ".join(f"vertex {v(p)}" for p in shape[1])
        out.append(f"polygon {{ {len(shape[1])} {points} }}\n")
    elif kind == "triangle":
        out.append("triangle { " + " ".join(f"vertex {v(p)}" for p in shape[1]) + " }\n")
    elif kind == "smooth_triangle":
        corners = " ".join(f"vertex {v(p)} normal {v(n)}" for p, n in zip(shape[1], shape[2]))
        out.append(f"smooth_triangle {{ {corners} }}\n")
    elif kind == "mesh":
        _, vertices, normals, faces = shape
        # Formatted once per vertex: a mesh repeats each vertex in about six faces.
        corner = [f"vertex <{triple(p)}> normal <{triple(n)}>" for p, n in zip(vertices, normals)]
        out.extend(f"smooth_triangle {{ {corner[a]} {corner[b]} {corner[c]} }}\n"
                   for a, b, c in faces)
    else:
        raise ValueError(kind)


def write_lumora(world, path, name, title, resolution=DEFAULT_RESOLUTION):
    w, h = resolution
    cam = world.camera
    out = [f"; {name}: {title}\n",
           f"; Written by bench/scenes.py; {world.primitive_count()} primitives.\n\n",
           f'settings {{ display {w} {h} output_type "ppm" output_name "{name}"\n'
           f'           antialiasing "none" background {triple(world.background)} }}\n',
           f"camera {{ position <{triple(cam.position)}> look_at <{triple(cam.look_at)}> "
           f"up <{triple(cam.up)}> fov {num(cam.fov)} ratio {cam.ratio:.10g} }}\n"]
    for light in world.lights:
        out.append(f"light {{ position <{triple(light.position)}> color {triple(light.color)} "
                   f'attenuation_type "none" shadow_type "sharp" }}\n')
    for material, shapes in world.grouped():
        out.append("\n" + lumora_surface(material))
        for shape in shapes:
            lumora_shape(shape, out)
    path.write_text("".join(out))


# ---------------------------------------------------------------------------------------------
# POV-Ray


def pov_vector(p):
    return "<" + triple(p, ", ") + ">"


def pov_texture(m):
    # POV-Ray scales the ambient and diffuse light of a see-through surface by its opacity,
    # lumora does not: dividing by the opacity gives the same sum.
    opacity = 1 - m.refraction
    pigment = (f"rgbt <{triple(m.color, ', ')}, {num(m.refraction)}>" if m.refraction > 0
               else f"rgb <{triple(m.color, ', ')}>")
    finish = [f"ambient {num(m.ambient / opacity)} diffuse {num(m.diffuse / opacity)}"]
    if m.specular > 0:
        finish.append(f"phong {num(m.specular)} phong_size {num(m.roughness)}")
    if m.reflection > 0:
        finish.append(f"reflection {num(m.reflection)}")
    text = (f"#declare T_{m.name} = texture {{ pigment {{ {pigment} }} "
            f"finish {{ {' '.join(finish)} }} }}\n")
    if m.refraction > 0:
        # Lumora filters light inside by the colour per unit of distance, c^d = exp(-d (-ln c));
        # POV-Ray's exponential fade is exp(-d (1 - fade_color)).
        fade = tuple(max(0.0, 1 + math.log(max(c, 1e-6))) for c in m.color)
        text += (f"#declare I_{m.name} = interior {{ ior {num(m.ior)} fade_distance 1 "
                 f"fade_power 1001 fade_color rgb <{triple(fade, ', ')}> }}\n")
    return text


def pov_shape(shape, look, out):
    kind = shape[0]
    v = pov_vector
    if kind == "sphere":
        out.append(f"sphere {{ {v(shape[1])}, {num(shape[2])} {look} }}\n")
    elif kind == "plane":
        out.append(f"plane {{ {v(shape[1])}, {num(shape[2])} {look} }}\n")
    elif kind == "disc":
        out.append(f"disc {{ {v(shape[1])}, {v(shape[2])}, {num(shape[3])} {look} }}\n")
    elif kind == "ring":
        out.append(f"disc {{ {v(shape[1])}, {v(shape[2])}, {num(shape[4])}, {num(shape[3])} "
                   f"{look} }}\n")
    elif kind == "cylinder":
        out.append(f"cylinder {{ {v(shape[1])}, {v(shape[2])}, {num(shape[3])} open {look} }}\n")
    elif kind == "cone":
        out.append(f"cone {{ {v(shape[1])}, {num(shape[3])}, {v(shape[2])}, {num(shape[4])} "
                   f"open {look} }}\n")
    elif kind == "polygon":
        # POV-Ray drops a polygon whose points are not coplanar to within far less than the
        # rounding of six digits. Written in the plane's own 2D coordinates and carried
        # there by a matrix, it is flat whatever the rounding.
        points = shape[1]
        origin = points[0]
        e1 = unit(sub(points[1], origin))
        normal = unit(cross(sub(points[1], origin), sub(points[2], origin)))
        e2 = cross(normal, e1)
        flat = [(dot(sub(p, origin), e1), dot(sub(p, origin), e2)) for p in points]
        flat.append(flat[0])  # closed explicitly
        corners = ", ".join(f"<{num(a)}, {num(b)}>" for a, b in flat)
        matrix = ", ".join(num(c) for c in (*e1, *e2, *normal, *origin))
        out.append(f"polygon {{ {len(flat)}, {corners} matrix <{matrix}> {look} }}\n")
    elif kind == "triangle":
        out.append(f"triangle {{ {', '.join(v(p) for p in shape[1])} {look} }}\n")
    elif kind == "smooth_triangle":
        corners = ", ".join(f"{v(p)}, {v(n)}" for p, n in zip(shape[1], shape[2]))
        out.append(f"smooth_triangle {{ {corners} {look} }}\n")
    elif kind == "mesh":
        _, vertices, normals, faces = shape
        out.append(f"mesh2 {{\n  vertex_vectors {{ {len(vertices)},\n")
        out.extend(f"    <{triple(p, ',')}>\n" for p in vertices)
        out.append(f"  }}\n  normal_vectors {{ {len(normals)},\n")
        out.extend(f"    <{triple(n, ',')}>\n" for n in normals)
        out.append(f"  }}\n  face_indices {{ {len(faces)},\n")
        out.extend(f"    <{a},{b},{c}>\n" for a, b, c in faces)
        out.append(f"  }}\n  {look}\n}}\n")
    else:
        raise ValueError(kind)


def write_pov(world, path, name, title):
    view, right, up, tan_h, tan_v = world.camera.frame()
    out = [f"// {name}: {title}\n",
           "// Written by bench/scenes.py. Render with File_Gamma=1.0, no anti-aliasing, e.g.\n",
           f"//   povray +I{name}.pov +O{name}.ppm +FP +W1920 +H1440 -A -D File_Gamma=1.0\n",
           "#version 3.7;\n",
           f"global_settings {{ assumed_gamma 1.0 max_trace_level {RAY_LEVELS} "
           "ambient_light rgb 1 }\n",
           f"background {{ rgb {pov_vector(world.background)} }}\n",
           # The vectors are given as they are, without look_at, so that POV-Ray's own
           # left-handed default cannot mirror the picture: x runs along `right`, y along `up`.
           f"camera {{ perspective location {pov_vector(world.camera.position)}\n"
           f"         direction {pov_vector(view)}\n"
           f"         right {pov_vector(scale(tan_h / tan_v, right))}\n"
           f"         up {pov_vector(up)}\n"
           f"         angle {num(world.camera.fov)} }}\n"]
    for light in world.lights:
        out.append(f"light_source {{ {pov_vector(light.position)} "
                   f"color rgb {pov_vector(light.color)} }}\n")
    for material, shapes in world.grouped():
        out.append("\n" + pov_texture(material))
        look = f"texture {{ T_{material.name} }}"
        if material.refraction > 0:
            look += f" interior {{ I_{material.name} }}"
        for shape in shapes:
            pov_shape(shape, look, out)
    path.write_text("".join(out))


# ---------------------------------------------------------------------------------------------
# Tachyon


CONE_SEGMENTS = 24  # Tachyon has no cone: it gets this many smooth facets around


def cone_facets(base, cap, base_radius, cap_radius):
    """Smooth triangles of an open cone with its analytic normals."""
    axis = sub(cap, base)
    length = math.sqrt(dot(axis, axis))
    a = unit(axis)
    helper = (1.0, 0.0, 0.0) if abs(a[0]) < 0.9 else (0.0, 1.0, 0.0)
    e1 = unit(cross(a, helper))
    e2 = cross(a, e1)
    slope = (base_radius - cap_radius) / length  # the normal leans along the axis by this
    facets = []
    for k in range(CONE_SEGMENTS):
        corners = []
        for j in (k, k + 1):
            t = 2 * math.pi * j / CONE_SEGMENTS
            radial = add(scale(math.cos(t), e1), scale(math.sin(t), e2))
            normal = unit(add(radial, scale(slope, a)))
            corners.append((add(base, scale(base_radius, radial)),
                            add(cap, scale(cap_radius, radial)), normal))
        (b0, c0, n0), (b1, c1, n1) = corners
        facets.append(((b0, b1, c1), (n0, n1, n1)))
        if cap_radius > 0:
            facets.append(((b0, c1, c0), (n0, n1, n0)))
    return facets


def tachyon_texture(m):
    # SPECULAR is Tachyon's mirror reflection, PHONG PLASTIC its highlight in the light's
    # colour. It has no refraction: the light a lumora surface refracts goes straight through.
    text = (f"AMBIENT {num(m.ambient)} DIFFUSE {num(m.diffuse)} SPECULAR {num(m.reflection)} "
            f"OPACITY {num(1 - m.refraction)}")
    if m.specular > 0:
        text += f" PHONG PLASTIC {num(m.specular)} PHONG_SIZE {num(m.roughness)}"
    return text + f" COLOR {triple(m.color)} TEXFUNC 0"


def tachyon_shape(shape, tex, out):
    kind = shape[0]
    t = triple
    if kind == "sphere":
        out.append(f"SPHERE CENTER {t(shape[1])} RAD {num(shape[2])} {tex}\n")
    elif kind == "plane":
        out.append(f"PLANE CENTER {t(scale(shape[2], shape[1]))} NORMAL {t(shape[1])} {tex}\n")
    elif kind == "disc":
        out.append(f"RING CENTER {t(shape[1])} NORMAL {t(shape[2])} INNER 0 "
                   f"OUTER {num(shape[3])} {tex}\n")
    elif kind == "ring":
        out.append(f"RING CENTER {t(shape[1])} NORMAL {t(shape[2])} INNER {num(shape[3])} "
                   f"OUTER {num(shape[4])} {tex}\n")
    elif kind == "cylinder":
        out.append(f"FCYLINDER BASE {t(shape[1])} APEX {t(shape[2])} RAD {num(shape[3])} {tex}\n")
    elif kind == "cone":
        for (p0, p1, p2), (n0, n1, n2) in cone_facets(*shape[1:]):
            out.append(f"STRI V0 {t(p0)} V1 {t(p1)} V2 {t(p2)} "
                       f"N0 {t(n0)} N1 {t(n1)} N2 {t(n2)} {tex}\n")
    elif kind == "polygon":
        points = shape[1]
        for k in range(1, len(points) - 1):  # a fan: the polygons are convex
            out.append(f"TRI V0 {t(points[0])} V1 {t(points[k])} V2 {t(points[k + 1])} {tex}\n")
    elif kind == "triangle":
        p0, p1, p2 = shape[1]
        out.append(f"TRI V0 {t(p0)} V1 {t(p1)} V2 {t(p2)} {tex}\n")
    elif kind == "smooth_triangle":
        (p0, p1, p2), (n0, n1, n2) = shape[1], shape[2]
        out.append(f"STRI V0 {t(p0)} V1 {t(p1)} V2 {t(p2)} N0 {t(n0)} N1 {t(n1)} N2 {t(n2)} "
                   f"{tex}\n")
    else:
        raise ValueError(kind)


def write_tachyon(world, path, name, title, resolution=DEFAULT_RESOLUTION):
    view, right, up, tan_h, tan_v = world.camera.frame()
    w, h = resolution
    # Tachyon's image runs along up x view, the mirror image of lumora's view x up. A
    # frustum whose left edge lies at +tan_h walks the pixels the other way, which restores
    # lumora's picture without moving the scene. The frustum is given at distance 1, so its
    # edges are the tangents of the half-angles. Tachyon aims each ray half a pixel away from
    # where lumora does, in both directions; moving the frustum by as much makes them trace
    # the same rays, which is why the file is written for one resolution.
    shift_x, shift_y = tan_h / w, tan_v / h
    out = [f"# {name}: {title}\n",
           "# Written by bench/scenes.py. Render with -shade_phong (the highlight lumora uses).\n",
           "BEGIN_SCENE\n",
           f"RESOLUTION {w} {h}\n",
           "CAMERA\n",
           f"  ZOOM 1 ASPECTRATIO 1 ANTIALIASING 0 RAYDEPTH {RAY_LEVELS}\n",
           f"  CENTER {triple(world.camera.position)}\n",
           f"  VIEWDIR {triple(view)}\n",
           f"  UPDIR {triple(up)}\n",
           f"  FRUSTUM {num(tan_h + shift_x)} {num(-tan_h + shift_x)} "
           f"{num(-tan_v - shift_y)} {num(tan_v - shift_y)}\n",
           "END_CAMERA\n",
           f"BACKGROUND {triple(world.background)}\n"]
    for light in world.lights:
        out.append(f"LIGHT CENTER {triple(light.position)} RAD 0 COLOR {triple(light.color)}\n")
    for material, shapes in world.grouped():
        out.append(f"\nTEXDEF {material.name} {tachyon_texture(material)}\n")
        for shape in shapes:
            if shape[0] == "mesh":
                _, vertices, normals, faces = shape
                out.append(f"VERTEXARRAY NUMVERTS {len(vertices)}\nCOORDS\n")
                out.extend(triple(p) + "\n" for p in vertices)
                out.append("NORMALS\n")
                out.extend(triple(n) + "\n" for n in normals)
                out.append(f"TEXTURE {tachyon_texture(material)}\nTRIMESH {len(faces)}\n")
                out.extend(f"{a} {b} {c}\n" for a, b, c in faces)
                out.append("END_VERTEXARRAY\n")
            else:
                tachyon_shape(shape, material.name, out)
    out.append("END_SCENE\n")
    path.write_text("".join(out))


# ---------------------------------------------------------------------------------------------
# The scenes


def floor_point(camera, sx, sy, height=0.0):
    """Where the ray through picture point (sx, sy) meets the level z = height, with its
    distance, or None when it runs away from it."""
    d = camera.ray(sx, sy)
    if d[2] >= -1e-9:
        return None
    t = (height - camera.position[2]) / d[2]
    return add(camera.position, scale(t, d)), t


def scatter(rng, camera, count, size_at, max_distance, gap=0.05, tries=400_000, keep=None):
    """Places `count` non-overlapping footprints on the floor, uniformly over the picture:
    the picture point is drawn, then its floor point, with a radius that grows with the
    distance so that near and far objects look alike in size. `keep(x, y, r)` may refuse a
    place. Returns (x, y, r) triples, in the order drawn."""
    placed = []
    cell = 2.0  # a grid of cells for the overlap test
    grid = {}
    for _ in range(tries):
        if len(placed) == count:
            break
        hit = floor_point(camera, rng.uniform(-1.08, 1.08), rng.uniform(-1.1, 1.0))
        if hit is None or hit[1] > max_distance:
            continue
        (x, y, _), distance = hit
        r = size_at(distance) * rng.uniform(0.7, 1.3)
        if keep is not None and not keep(x, y, r):
            continue
        gx, gy = int(math.floor(x / cell)), int(math.floor(y / cell))
        reach = int(math.ceil((2 * r + gap) / cell)) + 1
        clear = True
        for i in range(gx - reach, gx + reach + 1):
            for j in range(gy - reach, gy + reach + 1):
                for (ox, oy, orad) in grid.get((i, j), ()):
                    if (ox - x) ** 2 + (oy - y) ** 2 < (orad + r + gap) ** 2:
                        clear = False
                        break
                if not clear:
                    break
            if not clear:
                break
        if clear:
            placed.append((x, y, r))
            grid.setdefault((gx, gy), []).append((x, y, r))
    if len(placed) < count:
        raise RuntimeError(f"only {len(placed)} of {count} objects found a place")
    return placed


FLOOR = Material("floor", (0.55, 0.56, 0.6), ambient=0.12, diffuse=0.7)
MIRROR = Material("mirror", (0.9, 0.9, 0.92), ambient=0.03, diffuse=0.15, specular=0.8,
                  roughness=80, reflection=0.8)
GLASS = Material("glass", (0.92, 0.97, 1.0), ambient=0.02, diffuse=0.08, specular=0.8,
                 roughness=80, refraction=0.9, ior=1.5)
PAINTS = [
    Material("red", (0.85, 0.18, 0.12), specular=0.4, roughness=30),
    Material("orange", (0.95, 0.55, 0.1), specular=0.4, roughness=30),
    Material("yellow", (0.9, 0.82, 0.2), specular=0.4, roughness=30),
    Material("green", (0.2, 0.7, 0.3), specular=0.4, roughness=30),
    Material("teal", (0.1, 0.55, 0.6), specular=0.4, roughness=30),
    Material("blue", (0.2, 0.35, 0.9), specular=0.4, roughness=30),
    Material("violet", (0.6, 0.25, 0.8), specular=0.4, roughness=30),
    Material("pink", (0.9, 0.35, 0.6), specular=0.4, roughness=30),
]
TWO_LIGHTS = [Light((-12.0, -14.0, 22.0), (0.8, 0.8, 0.78)),
              Light((14.0, -6.0, 12.0), (0.45, 0.45, 0.5))]
SKY = (0.08, 0.1, 0.16)

# A camera well above the floor and looking down at 40 degrees: the floor fills the whole
# picture and nothing on it is farther than about 35 units.
OVERHEAD = Camera((0.0, -12.0, 10.0), (0.0, 0.0, 0.0), fov=60)


def spheres1000():
    rng = random.Random(1000)
    world = World(OVERHEAD, TWO_LIGHTS, SKY)
    world.add(FLOOR, ("plane", (0.0, 0.0, 1.0), 0.0))
    for k, (x, y, r) in enumerate(scatter(rng, OVERHEAD, 1000, lambda d: 0.014 * d, 40)):
        # Every tenth sphere is a mirror: 10% of them, spread evenly over the picture.
        material = MIRROR if k % 10 == 0 else PAINTS[int(rng.random() * len(PAINTS))]
        world.add(material, ("sphere", (x, y, r), r))
    return world


TORUS_RINGS, TORUS_SIDES = 400, 125  # 2 x 400 x 125 = 100,000 triangles
TORUS_MAJOR, TORUS_MINOR = 3.0, 1.0


def torus100k():
    camera = Camera((0.0, -8.2, 6.4), (0.0, 0.0, -0.45), fov=54)
    world = World(camera, [Light((-6.0, -9.0, 14.0), (1.0, 0.97, 0.92))], SKY)
    world.add(FLOOR, ("plane", (0.0, 0.0, 1.0), -TORUS_MINOR))
    vertices, faces = m3ds.torus_grid(TORUS_MAJOR, TORUS_MINOR, TORUS_RINGS, TORUS_SIDES)
    # The exact normal of a torus about z: the tube's radial direction at (u, v), in the
    # vertex order of torus_grid (ring by ring, around each ring).
    normals = []
    for i in range(TORUS_RINGS):
        u = 2 * math.pi * i / TORUS_RINGS
        cu, su = math.cos(u), math.sin(u)
        for j in range(TORUS_SIDES):
            v = 2 * math.pi * j / TORUS_SIDES
            cv = math.cos(v)
            normals.append((cv * cu, cv * su, math.sin(v)))
    gold = Material("gold", (0.9, 0.68, 0.22), ambient=0.1, diffuse=0.75, specular=0.6,
                    roughness=40)
    world.add(gold, ("mesh", vertices, normals, faces))
    return world


def glass():
    camera = Camera((0.0, -8.0, 4.2), (0.0, 2.6, 0.4), fov=62)
    world = World(camera, TWO_LIGHTS, SKY)
    world.add(FLOOR, ("plane", (0.0, 0.0, 1.0), 0.0))
    # Five rows of five: glass in front, mirrors and paint behind it to be seen through it,
    # every kind in every row so that each shows the others.
    kinds = ["glass", "paint", "mirror", "glass", "paint",
             "paint", "glass", "paint", "mirror", "glass",
             "mirror", "paint", "glass", "paint", "paint",
             "glass", "paint", "mirror", "glass", "paint",
             "paint", "mirror", "paint", "paint", "mirror"]
    k = 0
    for row in range(5):
        for col in range(5):
            r = 0.85 if row < 2 else 1.0
            x = (col - 2) * 2.7 + (0.9 if row % 2 else 0.0) - 0.45
            y = -2.0 + row * 2.9
            kind = kinds[k]
            material = {"glass": GLASS, "mirror": MIRROR}.get(kind, PAINTS[k % len(PAINTS)])
            world.add(material, ("sphere", (x, y, r), r))
            k += 1
    return world


def lowerhalf():
    # Looking straight down: the floor is a rectangle that ends at the middle of the picture,
    # so the upper half sees nothing but the background.
    height = 30.0
    camera = Camera((0.0, 0.0, height), (0.0, 0.0, 0.0), up=(0.0, 1.0, 0.0), fov=60)
    _, _, _, tan_h, tan_v = camera.frame()
    half_w, half_h = height * tan_h, height * tan_v
    world = World(camera, TWO_LIGHTS, SKY)
    world.add(FLOOR, ("polygon", [(-1.1 * half_w, -1.1 * half_h, 0.0),
                                  (1.1 * half_w, -1.1 * half_h, 0.0),
                                  (1.1 * half_w, -0.02 * half_h, 0.0),
                                  (-1.1 * half_w, -0.02 * half_h, 0.0)]))

    def below_middle(x, y, r):
        # The top of a sphere is nearer the camera and so projects farther from the centre.
        top_y = (y + r) * height / (height - 2 * r)
        return top_y < -0.03 * half_h and y - r > -1.05 * half_h and abs(x) < 1.05 * half_w

    rng = random.Random(400)
    for k, (x, y, r) in enumerate(scatter(rng, camera, 300, lambda d: 0.017 * d, 1e9,
                                          keep=below_middle)):
        material = MIRROR if k % 10 == 0 else PAINTS[int(rng.random() * len(PAINTS))]
        world.add(material, ("sphere", (x, y, r), r))
    return world


PRIMITIVE_KINDS = ["sphere", "disc", "ring", "cylinder", "cone", "polygon", "triangle",
                   "smooth_triangle"]


def primitive_at(kind, x, y, s, facing, rng):
    """One object of `kind` standing on the floor at (x, y) within a radius s; flat ones turn
    their face towards `facing` (a horizontal unit vector), give or take 40 degrees."""
    turn = math.radians(rng.uniform(-40, 40))
    c, n = math.cos(turn), math.sin(turn)
    face = (facing[0] * c - facing[1] * n, facing[0] * n + facing[1] * c, 0.0)
    side = (-face[1], face[0], 0.0)  # horizontal, along the face
    up = (0.0, 0.0, 1.0)
    centre = (x, y, s)

    def on_face(a, b):  # a point of the upright plane through the centre
        return add(centre, add(scale(a, side), scale(b, up)))

    if kind == "sphere":
        return ("sphere", centre, s)
    if kind == "disc":
        normal = unit(add(face, (0.0, 0.0, 0.5)))
        return ("disc", centre, normal, s)
    if kind == "ring":
        normal = unit(add(face, (0.0, 0.0, 0.5)))
        return ("ring", centre, normal, 0.5 * s, s)
    if kind == "cylinder":
        return ("cylinder", (x, y, 0.0), (x, y, 2 * s), 0.55 * s)
    if kind == "cone":
        return ("cone", (x, y, 0.0), (x, y, 2 * s), 0.8 * s, 0.15 * s)
    if kind == "polygon":
        sides = 5 + int(rng.random() * 3)  # pentagons to heptagons, all convex
        start = rng.uniform(0, 2 * math.pi)
        return ("polygon", [on_face(s * math.cos(start + 2 * math.pi * k / sides),
                                    s * math.sin(start + 2 * math.pi * k / sides))
                            for k in range(sides)])
    if kind == "triangle":
        return ("triangle", [on_face(-s, -s), on_face(s, -s), on_face(0.2 * s, s)])
    if kind == "smooth_triangle":
        points = [on_face(-s, -s), on_face(s, -s), on_face(0.0, s)]
        # Normals on the visible side, leaning outwards from the middle, make the flat face
        # look curved (Tachyon does not turn a smooth triangle's normals towards the viewer).
        normals = [unit(add(face, add(scale(k * 0.6, side), scale(b * 0.6, up))))
                   for k, b in ((-1, -1), (1, -1), (0, 1))]
        return ("smooth_triangle", points, normals)
    raise ValueError(kind)


def primitives():
    rng = random.Random(9)
    world = World(OVERHEAD, TWO_LIGHTS, SKY)
    world.add(FLOOR, ("plane", (0.0, 0.0, 1.0), 0.0))
    per_kind = 200
    places = scatter(rng, OVERHEAD, per_kind * len(PRIMITIVE_KINDS), lambda d: 0.011 * d, 40)
    for k, (x, y, r) in enumerate(places):
        kind = PRIMITIVE_KINDS[k % len(PRIMITIVE_KINDS)]
        to_camera = unit((OVERHEAD.position[0] - x, OVERHEAD.position[1] - y, 0.0))
        material = PAINTS[int(rng.random() * len(PAINTS))]
        world.add(material, primitive_at(kind, x, y, r, to_camera, rng))
    return world


# 3DS models: a torus finely cut around its tube, in bands of rings that fit the format's
# 16-bit counts. model1m is the million-face model of the former 3DS benchmark, with the same
# camera and light, so that its figures stay comparable.
MODEL_SIDES = 500


def torus_model(faces):
    rings = max(3, round(faces / (2 * MODEL_SIDES)))
    band = m3ds.MAX_COUNT // (2 * MODEL_SIDES)
    meshes = []
    for first in range(0, rings, band):
        last = min(first + band, rings)
        vertices, band_faces = m3ds.torus_grid(3.0, 1.0, rings, MODEL_SIDES,
                                               ring_range=(first, last))
        meshes.append(m3ds.mesh(f"Band{len(meshes)}", vertices, band_faces, "Gold"))
    data = m3ds.model(
        m3ds.material("Gold", (230, 180, 60)),
        *meshes,
        m3ds.camera("Camera", (0.0, -11.0, 7.0), (0.0, 0.0, 0.0), 35),
        m3ds.light("Key", (-8.0, -10.0, 14.0), (1.0, 1.0, 1.0)),
    )
    return data, 2 * rings * MODEL_SIDES, len(meshes)


# ---------------------------------------------------------------------------------------------
# The list


@dataclass
class Scene:
    name: str
    title: str
    kind: str                  # "shapes", "copy" or "3ds"
    resolution: tuple = None   # the default -r, or None for the file's own settings
    faces: int = 0             # triangles of a 3DS model
    build: object = None       # the World builder of a "shapes" scene

    @property
    def input_file(self):
        # The copied example keeps its own name: other scenes may include it by that name.
        return "spheres.lms" if self.kind == "copy" else f"{self.name}.lms"

    def lumora_args(self, resolution=None):
        """Arguments that render the scene from the directory it was written to (the output
        format and name are the caller's)."""
        resolution = resolution or self.resolution
        option = "-3ds" if self.kind == "3ds" else "-i"
        args = [option, self.input_file]
        if resolution:
            args += ["-r", str(resolution[0]), str(resolution[1])]
        if self.kind != "copy":
            args.append("-aan")  # one sample per pixel; the copied example keeps its own
        return args

    @property
    def peers(self):
        if self.kind != "shapes":
            return {}
        return {"povray": f"{self.name}.pov", "tachyon": f"{self.name}.tachyon"}

    def write(self, outdir, resolution=None):
        """Writes the scene's files into outdir, for rendering at `resolution` (its default
        when None); returns a summary: primitives, faces and the files with their sizes."""
        resolution = tuple(resolution or self.resolution or DEFAULT_RESOLUTION)
        outdir = Path(outdir)
        outdir.mkdir(parents=True, exist_ok=True)
        info = {"name": self.name, "primitives": 0, "faces": self.faces, "files": {}}
        if self.kind == "shapes":
            world = self.build()
            info["primitives"] = world.primitive_count()
            write_lumora(world, outdir / self.input_file, self.name, self.title, resolution)
            write_pov(world, outdir / self.peers["povray"], self.name, self.title)
            write_tachyon(world, outdir / self.peers["tachyon"], self.name, self.title,
                          resolution)
            names = [self.input_file, self.peers["povray"], self.peers["tachyon"]]
        elif self.kind == "copy":
            # The example as it stands, with the palette it includes from beside it.
            names = ["spheres.lms", "palette.lms"]
            for source in names:
                shutil.copyfile(ROOT / "examples" / source, outdir / source)
            info["primitives"] = 4  # three spheres and the plane
        else:
            data, faces, meshes = torus_model(self.faces)
            info["faces"], info["meshes"] = faces, meshes
            info["primitives"] = faces
            (outdir / f"{self.name}.3ds").write_bytes(data)
            w, h = resolution
            (outdir / self.input_file).write_text(
                f"[ {self.name}: {self.title}. Written by bench/scenes.py. ]\n"
                f'{{ input_name "{self.name}.3ds" output_name "{self.name}" output_type "ppm"\n'
                f'  display {w} {h} antialiasing "none"\n'
                f'  attenuation_type "none" shadow_type "sharp" }}\n')
            names = [self.input_file, f"{self.name}.3ds"]
        info["files"] = {n: (outdir / n).stat().st_size for n in names}
        return info


SCENES = [
    Scene("spheres1000", "1,000 spheres over a plane, a tenth of them mirrors, two lights",
          "shapes", DEFAULT_RESOLUTION, build=spheres1000),
    Scene("torus100k", "a torus of 100,000 smooth triangles over a plane, one light",
          "shapes", DEFAULT_RESOLUTION, build=torus100k),
    Scene("glass", "glass, mirror and painted spheres on a plane, two lights",
          "shapes", DEFAULT_RESOLUTION, build=glass),
    Scene("lowerhalf", "300 spheres on a floor that fills only the lower half of the picture",
          "shapes", DEFAULT_RESOLUTION, build=lowerhalf),
    Scene("primitives", "200 of each kind of object and a plane under them",
          "shapes", DEFAULT_RESOLUTION, build=primitives),
    Scene("softshadow", "examples/spheres.lms: adaptive anti-aliasing, soft shadows, a spot",
          "copy", None),
    Scene("model200k", "a 3DS torus of 200,000 faces", "3ds", DEFAULT_RESOLUTION,
          faces=200_000),
    Scene("model1m", "a 3DS torus of 1,000,000 faces", "3ds", DEFAULT_RESOLUTION,
          faces=1_000_000),
]

BY_NAME = {scene.name: scene for scene in SCENES}


def select(names):
    """The scenes named, in the list's order; all of them for none. Unknown names raise
    KeyError naming them."""
    if not names:
        return list(SCENES)
    unknown = [n for n in names if n not in BY_NAME]
    if unknown:
        raise KeyError(f"unknown scene(s): {', '.join(unknown)} "
                       f"(known: {', '.join(BY_NAME)})")
    wanted = set(names)
    return [scene for scene in SCENES if scene.name in wanted]


def main(argv):
    parser = argparse.ArgumentParser(
        description="Writes lumora's benchmark scenes, with their POV-Ray and Tachyon "
                    "versions, into OUTDIR.")
    parser.add_argument("outdir", type=Path, metavar="OUTDIR")
    parser.add_argument("names", nargs="*", metavar="NAME",
                        help="scenes to write (default: all): " + ", ".join(BY_NAME))
    parser.add_argument("--resolution", type=int, nargs=2, metavar=("W", "H"),
                        help="the size the files are written for (default: each scene's own)")
    args = parser.parse_intermixed_args(argv)
    try:
        chosen = select(args.names)
    except KeyError as error:
        parser.error(error.args[0])
    for scene in chosen:
        started = time.monotonic()
        info = scene.write(args.outdir, args.resolution)
        elapsed = time.monotonic() - started
        files = ", ".join(f"{n} {size / 1e6:.2f} MB" for n, size in info["files"].items())
        count = (f"{info['faces']} faces in {info['meshes']} meshes" if scene.kind == "3ds"
                 else f"{info['primitives']} primitives")
        print(f"{scene.name:12} {count:30} {elapsed:6.2f} s  {files}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
