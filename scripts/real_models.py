#!/usr/bin/env python3
"""Renders the 3DS models that Debian's game and benchmark data packages ship, with a settings
file that names nothing but the model, the picture size and the two keys that stand in for a
camera and a light the model lacks (frame "yes", headlight "yes"), and checks that every
picture is of use: the model covers at least 1% and at most 99.5% of the pixels, is shaded
(more than two colours), and renders within the time limit. A mesh has one material, the last
its face-material lists name, and a model whose material is black shows nothing against the
black background: such a model is rendered again against white and counted apart when its
silhouette would pass.

    python3 scripts/real_models.py [--lumora build/release/lumora] [--keep DIR]
                                   [--packages a,b,...] [--plain]

The packages are fetched with `apt-get download` and unpacked with `dpkg-deb -x` into a
temporary directory (or DIR); nothing of them is kept in the repository. --plain renders
without the two keys, to see the pictures they mend. Prints one line per model that fails, is
black or is refused as damaged, and a count per package; the exit status is 1 when any picture
fails.

Python 3 standard library only.
"""

import argparse
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
PACKAGES = ["gl-117-data", "stormbaancoureur-data", "glmark2-data", "assimp-testmodels"]
WIDTH, HEIGHT = 200, 150
SECONDS = 30  # a render that takes longer counts as failed
LEAST_SHARE, MOST_SHARE = 0.01, 0.995


def fetch(package, into):
    """Unpacks the package into `into`/name once; returns that directory."""
    target = into / package
    if target.is_dir():
        return target
    subprocess.run(["apt-get", "download", package], cwd=into, check=True,
                   stdout=subprocess.DEVNULL)
    deb = next(into.glob(f"{package}_*.deb"))
    subprocess.run(["dpkg-deb", "-x", str(deb), str(target)], check=True)
    deb.unlink()
    return target


def read_ppm(path):
    """(width, height, pixels as bytes) of a raw PPM with a one-line header per field."""
    data = path.read_bytes()
    parts = data.split(b"\n", 3)
    width, height = map(int, parts[1].split())
    return width, height, parts[3]


def judge(picture, background):
    """(covered share, distinct colours) of a picture on a plain background."""
    width, height, pixels = read_ppm(picture)
    colours = set()
    covered = 0
    for at in range(0, 3 * width * height, 3):
        pixel = pixels[at:at + 3]
        colours.add(pixel)
        covered += pixel != background
    return covered / (width * height), len(colours)


def render(lumora, model, work, keys):
    """Renders one model; returns (failure or None, share, colours, seconds). A model whose
    material is black cannot show on the black background: it is rendered once more against
    white, and its silhouette must then cover the share the picture of use would."""
    failure, share, colours, seconds = render_on(lumora, model, work, keys)
    if failure is None or not failure.startswith("covers 0.00%"):
        return failure, share, colours, seconds
    silhouette, _, _, _ = render_on(lumora, model, work, keys + " background 1 1 1",
                                    background=b"\xff\xff\xff")
    if silhouette is None or silhouette == "2 colours":
        return BLACK, share, colours, seconds
    return failure, share, colours, seconds


BLACK = "black by its material"
REFUSED = "refused by the reader as damaged"


def render_on(lumora, model, work, keys, background=b"\0\0\0"):
    # Quoted names are plain words in the settings language, and ".3ds" must be in lower case:
    # the model is reached through a link of that name.
    link = work / "model.3ds"
    link.unlink(missing_ok=True)
    link.symlink_to(model)
    settings = work / "model.lms"
    settings.write_text(f'{{ input_name "model.3ds" display {WIDTH} {HEIGHT} output_type "ppm" '
                        f'output_name "picture" {keys} }}\n')
    picture = work / "picture.ppm"
    picture.unlink(missing_ok=True)
    started = time.monotonic()
    try:
        done = subprocess.run([str(lumora), "-3ds", str(settings)], cwd=work, timeout=SECONDS,
                              capture_output=True, text=True, errors="replace")
    except subprocess.TimeoutExpired:
        return f"took more than {SECONDS} s", 0, 0, SECONDS
    seconds = time.monotonic() - started
    if done.returncode != 0:
        last = done.stdout.strip().splitlines()[-1:] or ["(no output)"]
        if done.returncode == 255 and last[0].startswith(" An error occured while loading"):
            return REFUSED, 0, 0, seconds
        return f"status {done.returncode}: {last[0].strip()}", 0, 0, seconds
    share, colours = judge(picture, background)
    if not LEAST_SHARE <= share <= MOST_SHARE:
        return f"covers {100 * share:.2f}% of the picture", share, colours, seconds
    if colours <= 2:
        return f"{colours} colours", share, colours, seconds
    return None, share, colours, seconds


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--lumora", type=Path, default=ROOT / "build" / "release" / "lumora")
    parser.add_argument("--keep", type=Path, help="unpack into DIR and keep it")
    parser.add_argument("--packages", default=",".join(PACKAGES))
    parser.add_argument("--plain", action="store_true",
                        help="without frame and headlight: the pictures as they were")
    args = parser.parse_args()
    if not args.lumora.is_file():
        sys.exit(f"real_models.py: no program at {args.lumora} (scripts/setup.sh release)")
    keys = "" if args.plain else 'frame "yes" headlight "yes"'

    with tempfile.TemporaryDirectory(prefix="lumora-models-") as scratch:
        root = args.keep.resolve() if args.keep else Path(scratch)
        root.mkdir(parents=True, exist_ok=True)
        work = Path(scratch) / "render"
        work.mkdir()
        failures = 0
        for package in args.packages.split(","):
            unpacked = fetch(package, root)
            models = sorted(p for p in unpacked.rglob("*") if p.suffix.lower() == ".3ds")
            outcomes = {}
            slowest = 0.0
            for model in models:
                failure, _, _, seconds = render(args.lumora, model.resolve(), work, keys)
                slowest = max(slowest, seconds)
                if failure:
                    print(f"  {package}/{model.relative_to(unpacked)}: {failure}")
                outcomes[failure] = outcomes.get(failure, 0) + 1
                failures += failure not in (None, BLACK, REFUSED)
            print(f"{package}: {outcomes.get(None, 0)} of {len(models)} pictures of use, "
                  f"{outcomes.get(BLACK, 0)} black by their material, "
                  f"{outcomes.get(REFUSED, 0)} refused (slowest render {slowest:.2f} s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
