#!/usr/bin/env python3
"""Tests of bench/run.py against fake renderers: small Python scripts that answer like lumora
does with and without --stats, fail, or hang. They check that the statistics block is read,
that a program without --stats is detected and measured from outside, and that failures and
hangs end the run with a message. Run with:

    python3 bench/test_run.py
"""

import contextlib
import io
import os
import re
import stat
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import run  # noqa: E402

STATS_BLOCK = """
 Statistics
  primary rays:           2764800
  shadow rays:            5529600
  reflected rays:         12000
  refracted rays:         0
  hierarchy nodes:        1334 composites, 1001 primitives, depth 9
  queue high-water mark:  17
  parse time:             0.004 s
  hierarchy time:         0.001 s
  render time:            0.512 s
  write time:             0.031 s
  peak memory:            11.2 MB
"""

# mode: "stats" knows --stats, "plain" refuses it like the programs before it, "broken"
# refuses everything, "fail" renders nothing and ends with status 1, "hang" never ends.
FAKE = """\
#!{python}
import sys, time
mode = {mode!r}
args = sys.argv[1:]
def usage():
    print("\\n Usage: lumora [options] scenefile [...]")
    sys.exit(255)
if mode == "broken" or ("--stats" in args and mode != "stats"):
    usage()
if mode == "hang":
    time.sleep(60)
if mode == "fail":
    print(" Parser Error - line: 3")
    sys.exit(1)
name = args[args.index("-o") + 1]
with open(name + ".ppm", "wb") as picture:
    picture.write(b"P6\\n2 1\\n255\\n" + bytes(6))
print("\\n Rendering time: 0.50 second(s)")
if "--stats" in args:
    print({block!r})
"""


class FakePrograms(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory(prefix="lumora-bench-test-")
        self.dir = Path(self.directory.name)

    def tearDown(self):
        self.directory.cleanup()

    def fake(self, mode):
        path = self.dir / f"fake-{mode}"
        path.write_text(FAKE.format(python=sys.executable, mode=mode, block=STATS_BLOCK))
        path.chmod(path.stat().st_mode | stat.S_IXUSR)
        return path

    def bench(self, mode, *extra):
        """run.main on the glass scene at a tiny size, without the peers; returns its status,
        its output and its messages."""
        program = self.fake(mode)
        out, err = io.StringIO(), io.StringIO()
        argv = ["--lumora", str(program), "--lumora-mt", str(program), "--scenes", "glass",
                "--resolution", "16", "12", "--no-peers", "--no-mpi", *extra]
        with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
            status = run.main(argv)
        return status, out.getvalue(), err.getvalue()

    @staticmethod
    def row(table, program):
        for line in table.splitlines():
            cells = re.split(r"\s{2,}", line)  # columns are two spaces apart at least
            if len(cells) > 2 and cells[0] == "glass" and cells[1] == program:
                return cells
        raise AssertionError(f"no row for {program} in:\n{table}")

    def test_parse_stats_reads_every_line(self):
        stats = run.parse_stats(" Rendering time: 0.51 second(s)\n" + STATS_BLOCK)
        self.assertEqual(stats["primary rays"], 2764800)
        self.assertEqual(stats["shadow rays"], 5529600)
        self.assertEqual(stats["reflected rays"], 12000)
        self.assertEqual(stats["refracted rays"], 0)
        self.assertEqual(stats["hierarchy nodes"], (1334, 1001, 9))
        self.assertEqual(stats["queue high-water mark"], 17)
        self.assertAlmostEqual(stats["parse time"], 0.004)
        self.assertAlmostEqual(stats["hierarchy time"], 0.001)
        self.assertAlmostEqual(stats["render time"], 0.512)
        self.assertAlmostEqual(stats["write time"], 0.031)
        self.assertAlmostEqual(stats["peak memory"], 11.2)

    def test_parse_stats_without_a_block_is_empty(self):
        self.assertEqual(run.parse_stats("\n Rendering time: 0.51 second(s)\n"), {})

    def test_detects_whether_stats_is_known(self):
        self.assertTrue(run.knows_stats(self.fake("stats"), 1, self.dir, 30))
        self.assertFalse(run.knows_stats(self.fake("plain"), 1, self.dir, 30))
        with self.assertRaises(run.BenchError):
            run.knows_stats(self.fake("broken"), 1, self.dir, 30)

    def test_table_from_stats(self):
        status, table, _ = self.bench("stats", "--runs", "2")
        self.assertEqual(status, 0)
        self.assertIn("lumora (--stats)", table)
        for program in ("lumora", "lumora-mt"):
            cells = self.row(table, program)
            # Rays over the render time: (2764800 + 5529600 + 12000) / 0.512 s.
            self.assertEqual(cells[7], f"{(2764800 + 5529600 + 12000) / 0.512 / 1e6:.2f}")
            self.assertEqual(cells[11:], ["0.004", "0.001", "0.512", "0.031"])
            self.assertEqual(cells[5], "11.2")
        mt = self.row(table, "lumora-mt")
        self.assertRegex(mt[8], r"^\d+\.\d\dx \(\d+\.\d\dx\)$")  # medians (bests)
        self.assertRegex(mt[9], r"^\d+\.\d\dx$")  # the runs' own speed-ups
        if len(os.sched_getaffinity(0)) == run.MT_THREADS:
            # Two renders of the probe scene, one per core: 1 + faster time / slower time.
            self.assertTrue(mt[10].endswith("x"), mt[10])
            self.assertTrue(1.0 <= float(mt[10][:-1]) <= 2.0, mt[10])
        else:
            self.assertEqual(mt[10], "-")  # with more cores the threads choose theirs
        self.assertEqual(self.row(table, "lumora")[8:11], ["-", "-", "-"])

    def test_table_measured_from_outside(self):
        status, table, _ = self.bench("plain", "--runs", "1")
        self.assertEqual(status, 0)
        self.assertIn("lumora (measured from outside)", table)
        cells = self.row(table, "lumora")
        self.assertEqual(cells[7], "-")                      # no ray counts
        self.assertEqual(cells[11:], ["-", "-", "0.500", "-"])  # render time from its own line
        self.assertGreater(float(cells[5]), 0)               # the kernel's peak memory
        self.assertGreater(float(cells[2]), 0)

    def test_paired_speedup_follows_the_pairs(self):
        def series(*walls):
            return run.Series(runs=[run.Measure(w, w, 0, "") for w in walls])

        # The second pair ran at a slow moment for both programs and still gained 2x, like the
        # first; the ratio of the medians (3.0 over 2.0) mixes the pairs and makes it 1.5x.
        single, mt = series(2.0, 8.0, 3.0), series(1.0, 4.0, 2.0)
        self.assertEqual(run.paired_speedup(single, mt), 2.0)
        # Unequal numbers of runs (a failed run) pair up as far as both go.
        self.assertEqual(run.paired_speedup(series(2.0, 9.0), series(1.0)), 2.0)
        self.assertIsNone(run.paired_speedup(series(), series()))

    def test_markdown(self):
        status, table, _ = self.bench("stats", "--runs", "1", "--markdown")
        self.assertEqual(status, 0)
        self.assertIn("| scene | program | wall s |", table)
        self.assertIn("|---|---|---:|", table)
        self.assertIn("| glass | lumora-mt |", table)

    def test_failed_render_ends_the_run(self):
        status, table, messages = self.bench("fail", "--runs", "1")
        # The probe itself fails here: the message must say so, and no table is printed.
        self.assertEqual(status, 1)
        self.assertEqual(table, "")
        self.assertIn("cannot render a one-sphere scene", messages)
        self.assertIn("Parser Error", messages)

    def test_failure_after_the_probe_names_the_scene(self):
        program = self.fake("stats")
        bad_scene = self.dir / "fail-on-glass"
        bad_scene.write_text(FAKE.format(python=sys.executable, mode="stats", block=STATS_BLOCK)
                             .replace('name = args', 'if "glass.lms" in args: sys.exit(3)\n'
                                      'name = args'))
        bad_scene.chmod(0o755)
        err = io.StringIO()
        with contextlib.redirect_stdout(io.StringIO()), contextlib.redirect_stderr(err):
            status = run.main(["--lumora", str(program), "--lumora-mt", str(bad_scene),
                               "--scenes", "glass", "--resolution", "16", "12", "--no-peers",
                               "--no-mpi", "--runs", "1"])
        self.assertEqual(status, 1)
        self.assertIn("glass: lumora-mt failed (exit status 3)", err.getvalue())

    def test_hung_render_is_killed(self):
        started = time.monotonic()
        status, _, messages = self.bench("hang", "--runs", "1", "--timeout", "1")
        self.assertEqual(status, 1)
        self.assertIn("timed out", messages)
        self.assertLess(time.monotonic() - started, 30)

    def test_mpi_asked_for_without_the_program_says_what_it_needs(self):
        status, table, messages = self.bench("stats", "--runs", "1", "--mpi",
                                             "--lumora-mpi", str(self.dir / "none"))
        self.assertEqual(status, 1)
        self.assertEqual(table, "")
        self.assertIn("--mpi: needs", messages)

    def test_missing_program_says_how_to_build_it(self):
        err = io.StringIO()
        with contextlib.redirect_stdout(io.StringIO()), contextlib.redirect_stderr(err):
            status = run.main(["--lumora", str(self.dir / "none"), "--no-peers", "--no-mpi"])
        self.assertEqual(status, 1)
        self.assertIn("scripts/setup.sh release", err.getvalue())


class SceneFiles(unittest.TestCase):
    def test_generation_is_deterministic(self):
        import scenes
        with tempfile.TemporaryDirectory() as first, tempfile.TemporaryDirectory() as second:
            for name in ("spheres1000", "primitives"):
                scenes.BY_NAME[name].write(first)
                scenes.BY_NAME[name].write(second)
            for path in sorted(Path(first).iterdir()):
                self.assertEqual(path.read_bytes(), (Path(second) / path.name).read_bytes(),
                                 path.name)

    def test_every_scene_names_its_files(self):
        import scenes
        with tempfile.TemporaryDirectory() as directory:
            scene = scenes.BY_NAME["glass"]
            info = scene.write(directory)
            self.assertEqual(info["primitives"], 26)
            args = scene.lumora_args()
            self.assertEqual(args[:2], ["-i", "glass.lms"])
            for name in [args[1], *scene.peers.values()]:
                self.assertTrue(os.path.getsize(os.path.join(directory, name)) > 0, name)


if __name__ == "__main__":
    unittest.main()
