#!/usr/bin/env python3
"""Benchmark of the 3DS path: generates a finely tessellated torus of about one million
faces (cut into meshes that fit the format's 16-bit counts), renders it at 320 x 240 with
lumora and reports the load time, the hierarchy build, the render time and the peak memory.

    bench/bench3ds.py [path/to/lumora] [faces]

Without a program it uses build/release/lumora (scripts/setup.sh release builds it). Not part
of the test suite: run it by hand on an otherwise idle machine. Python 3 standard library and
/usr/bin/time only.
"""

import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "examples"))
import make_model3ds as m3ds  # noqa: E402  (the chunk writer of the shipped example)

SIDES = 500  # around the tube; the ring count follows from the face count


def torus_model(faces):
    rings = max(3, round(faces / (2 * SIDES)))
    # Bands of rings small enough that a band's faces fit a 16-bit count.
    band = m3ds.MAX_COUNT // (2 * SIDES)
    meshes = []
    for first in range(0, rings, band):
        last = min(first + band, rings)
        vertices, band_faces = m3ds.torus_grid(3.0, 1.0, rings, SIDES, ring_range=(first, last))
        meshes.append(m3ds.mesh(f"Band{len(meshes)}", vertices, band_faces, "Gold"))
    data = m3ds.model(
        m3ds.material("Gold", (230, 180, 60)),
        *meshes,
        m3ds.camera("Camera", (0.0, -11.0, 7.0), (0.0, 0.0, 0.0), 35),
        m3ds.light("Key", (-8.0, -10.0, 14.0), (1.0, 1.0, 1.0)),
    )
    return data, 2 * rings * SIDES, len(meshes)


def main():
    program = ROOT / "build/release/lumora"
    if len(sys.argv) > 1:
        program = Path(sys.argv[1]).resolve()
    faces = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    if not program.exists():
        sys.exit(f"{program} not found: build it first (scripts/setup.sh release)")

    with tempfile.TemporaryDirectory(prefix="lumora-bench-") as work:
        work = Path(work)
        started = time.monotonic()
        data, face_count, mesh_count = torus_model(faces)
        (work / "torus.3ds").write_bytes(data)
        generated = time.monotonic() - started
        (work / "bench.lms").write_text(
            '{ input_name "torus.3ds" output_name "bench" output_type "ppm"\n'
            '  display 320 240 antialiasing "none" shadow_type "sharp" }\n')

        # Line-buffered output lets each phase be timed as its first line arrives.
        command = ["/usr/bin/time", "-v", "stdbuf", "-oL", str(program), "-3ds", "bench.lms"]
        marks = {}
        output = []
        start = time.monotonic()
        with subprocess.Popen(command, cwd=work, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True, errors="replace") as run:
            for line in run.stdout:
                now = time.monotonic() - start
                output.append(line)
                for key, text in (("loaded", "Number of primitives"), ("built", "Rendering to")):
                    if text in line and key not in marks:
                        marks[key] = now
            stderr = run.stderr.read()
        total = time.monotonic() - start
        if run.returncode != 0:
            sys.exit("".join(output) + stderr)

    text = "".join(output)
    rendering = float(re.search(r"Rendering time: *([\d.]+)", text).group(1))
    primitives = int(re.search(r"Number of primitives:\s*(\d+)", text).group(1))
    peak_kb = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", stderr).group(1))
    print(f"model:             {face_count} faces in {mesh_count} meshes, "
          f"{len(data) / 1e6:.1f} MB (generated in {generated:.1f} s)")
    print(f"primitives:        {primitives}")
    print(f"load:              {marks['loaded']:.2f} s (start to the scene summary)")
    print(f"hierarchy:         {marks['built'] - marks['loaded']:.2f} s")
    print(f"render:            {rendering:.2f} s (320 x 240, one sample per pixel)")
    print(f"whole run:         {total:.2f} s")
    print(f"peak memory:       {peak_kb / 1024:.0f} MB")


if __name__ == "__main__":
    main()
