#!/usr/bin/env python3
"""Records the golden pictures of the test suite: renders every case (each benchmark scene of
bench/scenes.py at a reduced size, in several anti-aliasing modes) with a given program and
prints the checksums file that tests/golden/golden_test.cpp holds the renderer to.

    python3 bench/record_goldens.py PROGRAM [--scenes DIR] [--keep DIR] > tests/golden/checksums.txt

PROGRAM is a lumora binary; it needs none of the newer options (--stats and the like), only
-i, -3ds, -r, -aan, -aaq, -aaa, -j, -ppm and -o. The scenes are generated into a temporary
directory unless --scenes names a directory that already holds them; --keep keeps the
rendered pictures there, named after their cases, to compare them pixel by pixel.

The checksum is the 64-bit FNV-1a of the picture's pixel bytes: the raster of the PPM, R, G,
B, top row first, without the header. A render that fails, or writes no picture of the
case's size, ends the recording with status 1 and the program's output.

tests/golden/checksums.txt was recorded with a build of commit 249a387 carrying only the
keyed random streams of e388a4e, that is the renderer as it was before its speed-ups, so
that a speed-up which changes one byte of one picture fails the suite. That build's
traversal queue cannot grow and ends the render when it fills: a case that fills it at the
default size is given a larger one with -pqs, which changes no pixel (the queue only holds
the candidates, whatever its size).

Python 3 standard library only.
"""

import argparse
import subprocess
import sys
import tempfile
from dataclasses import dataclass
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import scenes as scene_list  # noqa: E402

SIZE = (96, 72)

# Each mode's options, added to the scene's own arguments once its "-aan" is taken out.
MODES = {
    "scene": [],  # the scene file's own settings (adaptive 24 for softshadow)
    "none": ["-aan"],
    "quick": ["-aaq"],
    "adaptive10": ["-aaa", "10"],
}
JITTER = "+jitter"


@dataclass(frozen=True)
class Case:
    scene: str
    mode: str  # a key of MODES, with JITTER appended for -j
    queue: int = 0  # the -pqs size the reference build needs, 0 for its default

    def arguments(self, size=SIZE):
        """The command line that renders the case from the scenes' directory, without the
        output options."""
        scene = scene_list.BY_NAME[self.scene]
        args = [a for a in scene.lumora_args(size) if a != "-aan"]
        args += MODES[self.mode.removesuffix(JITTER)]
        if self.mode.endswith(JITTER):
            args.append("-j")
        if self.queue:
            args += ["-pqs", str(self.queue)]
        return args

    @property
    def label(self):
        return f"{self.scene}-{self.mode}"


# The one mode of each 3DS model: the finest sampling for the smaller model.
MODEL_MODES = {"model200k": "adaptive10", "model1m": "none"}

# Cases whose candidates outgrow the reference build's default queue of 128.
LARGER_QUEUE = {("lowerhalf", "adaptive10"): 1024}


def default_cases():
    """Every scene in the three modes of the command line, softshadow in its own mode too;
    the 3DS models, whose loading takes most of their time, in one mode each; and jittered
    samples through each of the three scan routines, two of them on the scene whose soft
    shadows draw random numbers too."""
    cases = []
    for scene in scene_list.SCENES:
        if scene.kind == "3ds":
            modes = [MODEL_MODES[scene.name]]
        elif scene.kind == "copy":
            modes = ["scene", "none", "quick", "adaptive10"]
        else:
            modes = ["none", "quick", "adaptive10"]
        cases += [Case(scene.name, mode, LARGER_QUEUE.get((scene.name, mode), 0))
                  for mode in modes]
    cases += [Case("softshadow", "scene" + JITTER), Case("softshadow", "quick" + JITTER),
              Case("glass", "none" + JITTER)]
    return cases


CASES = default_cases()


class RecordError(Exception):
    """A case that could not be recorded: its message is printed and the exit status is 1."""


def fnv1a64(data):
    """The 64-bit FNV-1a hash of a byte string."""
    value = 0xCBF29CE484222325
    for byte in data:
        value = ((value ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return value


def ppm_raster(path):
    """The width, height and pixel bytes of a binary PPM with a maximum value of 255, as the
    renderer writes it: P6, width, height and 255 separated by white space, then exactly one
    white-space byte."""
    data = Path(path).read_bytes()
    fields, position = [], 0
    while len(fields) < 4:
        while position < len(data) and data[position:position + 1].isspace():
            position += 1
        start = position
        while position < len(data) and not data[position:position + 1].isspace():
            position += 1
        if start == position:
            raise RecordError(f"{path}: the PPM header ends early")
        fields.append(data[start:position])
    if fields[0] != b"P6" or fields[3] != b"255":
        raise RecordError(f"{path}: not a binary PPM with a maximum of 255")
    return int(fields[1]), int(fields[2]), data[position + 1:]


def render(program, case, scenes_dir, pictures_dir):
    """Renders the case and returns the checksum of its pixels."""
    output = Path(pictures_dir).resolve() / case.label
    command = [str(program), *case.arguments(), "-ppm", "-o", str(output)]
    run = subprocess.run(command, cwd=scenes_dir, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True, errors="replace")
    if run.returncode != 0:
        raise RecordError(f"{case.label}: {' '.join(command)} ended with status "
                          f"{run.returncode}:\n{run.stdout[-2000:]}")
    picture = output.with_suffix(".ppm")
    if not picture.exists():
        raise RecordError(f"{case.label}: no picture written at {picture}")
    width, height, pixels = ppm_raster(picture)
    if (width, height) != SIZE or len(pixels) != 3 * width * height:
        raise RecordError(f"{case.label}: a {width}x{height} picture of {len(pixels)} bytes, "
                          f"expected {SIZE[0]}x{SIZE[1]}")
    return fnv1a64(pixels)


HEADER = """\
# Golden pictures: the benchmark scenes of bench/scenes.py rendered at a reduced size, and the
# 64-bit FNV-1a of each picture's pixel bytes (the PPM's raster, without its header).
# Recorded by bench/record_goldens.py with the renderer as it was before its speed-ups (the
# script tells which build); record them again only for a change meant to alter pictures.
# One case a line: scene, anti-aliasing mode, size, checksum, then the arguments that render
# it from the scenes' directory (the output options are added to them).
# Modes: none (-aan), quick (-aaq), adaptive10 (-aaa 10), scene (the file's own settings);
# "+jitter" adds -j.
"""


def checksums_text(program, scenes_dir, pictures_dir):
    lines = [HEADER]
    width = max(len(c.scene) for c in CASES)
    mode_width = max(len(c.mode) for c in CASES)
    for case in CASES:
        checksum = render(program, case, scenes_dir, pictures_dir)
        lines.append(f"{case.scene:<{width}}  {case.mode:<{mode_width}}  {SIZE[0]}x{SIZE[1]}  "
                     f"{checksum:016x}  {' '.join(case.arguments())}\n")
    return "".join(lines)


def main(argv):
    parser = argparse.ArgumentParser(
        description="Renders the golden cases with PROGRAM and prints their checksums file.")
    parser.add_argument("program", type=Path, metavar="PROGRAM")
    parser.add_argument("--scenes", type=Path, metavar="DIR",
                        help="a directory already holding the scenes (default: generate them)")
    parser.add_argument("--keep", type=Path, metavar="DIR",
                        help="keep the rendered pictures in DIR")
    args = parser.parse_args(argv)
    with tempfile.TemporaryDirectory(prefix="lumora-goldens-") as scratch:
        scenes_dir = args.scenes
        if scenes_dir is None:
            scenes_dir = Path(scratch) / "scenes"
            for scene in scene_list.SCENES:
                scene.write(scenes_dir)
        pictures_dir = args.keep or Path(scratch)
        pictures_dir.mkdir(parents=True, exist_ok=True)
        try:
            sys.stdout.write(checksums_text(args.program.resolve(), scenes_dir, pictures_dir))
        except RecordError as error:
            print(f"record_goldens: {error}", file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
