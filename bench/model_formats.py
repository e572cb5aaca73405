#!/usr/bin/env python3
"""Times loading the same model as 3DS and as binary PLY: the benchmark's torus of a million
faces (bench/scenes.py, model1m), written both ways, rendered at a tiny size so that loading
and building the hierarchy are nearly the whole run.

    python3 bench/model_formats.py PROGRAM [--faces N] [--runs K]

PROGRAM is a lumora binary with -model and --stats. For each run and format it prints the
parse and hierarchy times that --stats reports (wall clock), the processor time of the
program and its importing child (user and system), and the peak resident memory of either.
Python 3 standard library only.
"""

import argparse
import re
import os
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import scenes  # noqa: E402
import make_model3ds as m3ds  # noqa: E402  (scenes puts examples/ on the path)


def write_ply(path, faces):
    """The torus of scenes.torus_model as one binary PLY mesh."""
    rings = max(3, round(faces / (2 * scenes.MODEL_SIDES)))
    vertices, triangles = m3ds.torus_grid(3.0, 1.0, rings, scenes.MODEL_SIDES)
    header = (f"ply\nformat binary_little_endian 1.0\nelement vertex {len(vertices)}\n"
              "property float x\nproperty float y\nproperty float z\n"
              f"element face {len(triangles)}\nproperty list uchar int vertex_indices\n"
              "end_header\n")
    with open(path, "wb") as out:
        out.write(header.encode("ascii"))
        out.write(b"".join(struct.pack("<3f", *p) for p in vertices))
        out.write(b"".join(struct.pack("<B3i", 3, *t) for t in triangles))


def measure(program, settings, directory):
    """One run: the --stats times, and the processor time and peak memory of the program with
    its importing child (os.wait4 reports them for that one process)."""
    start = time.monotonic()
    run = subprocess.Popen([program, "-model", settings, "-aan", "--stats"], cwd=directory,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    output = run.stdout.read()
    _, status, usage = os.wait4(run.pid, 0)
    wall = time.monotonic() - start
    run.returncode = os.waitstatus_to_exitcode(status)
    if run.returncode != 0:
        sys.exit(f"{settings}: status {run.returncode}\n{output}")
    stats = dict(re.findall(r"(parse|hierarchy) time:\s+([\d.]+) s", output))
    return {"parse": float(stats["parse"]), "hierarchy": float(stats["hierarchy"]),
            "cpu": usage.ru_utime + usage.ru_stime, "wall": wall,
            "peak_mb": usage.ru_maxrss / 1024}


def write_models(out, faces):
    data, _, _ = scenes.torus_model(faces)
    (out / "torus.3ds").write_bytes(data)
    write_ply(out / "torus.ply", faces)
    for model in ("torus.3ds", "torus.ply"):
        (out / f"{model}.lms").write_text(
            f'{{ input_name "{model}" output_type "ppm" output_name "out" display 8 6 }}\n')


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program", nargs="?")
    parser.add_argument("--faces", type=int, default=1_000_000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--write", metavar="DIR", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.write:
        write_models(Path(args.write), args.faces)
        return
    program = str(Path(args.program).resolve())
    with tempfile.TemporaryDirectory() as directory:
        out = Path(directory)
        # Written by another process: the programs are started from this one, whose size a
        # started program's peak memory would otherwise count from.
        subprocess.run([sys.executable, __file__, "--write", directory, "--faces",
                        str(args.faces)], check=True)
        print(f"{args.faces} faces")
        for k in range(args.runs):
            for model in ("torus.3ds", "torus.ply"):
                r = measure(program, f"{model}.lms", out)
                print(f"run {k + 1} {model:10} parse {r['parse']:6.2f} s  hierarchy "
                      f"{r['hierarchy']:5.2f} s  processor {r['cpu']:5.2f} s  "
                      f"wall {r['wall']:5.2f} s  peak {r['peak_mb']:6.0f} MB")


if __name__ == "__main__":
    main()
