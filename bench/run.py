#!/usr/bin/env python3
"""Benchmark runner: generates the scenes of bench/scenes.py into a temporary directory and
renders each of them with lumora and with lumora-mt -t 2 (and with lumora-mpi on 1, 2 and 3
ranks when it is built), and, when they are installed, the POV-Ray and Tachyon versions of the
shape scenes with one and two threads.

    python3 bench/run.py [--lumora PATH] [--lumora-mt PATH] [--lumora-mpi PATH] [--runs N]
                         [--scenes a,b,...] [--resolution W H] [--peers | --no-peers]
                         [--mpi | --no-mpi] [--markdown]

For each scene and program it prints the median wall time (and the best), the median
processor time (user + system of the child), the peak memory (and bytes per face for the 3DS
models), the rays per second, the two-thread speed-up beside the most that the machine's two
cores allowed at the time (see two_core_ceiling), and the time of each phase. Programs
that know --stats report their ray counts and phases; for those that do not, the runner
measures what it can from outside and prints "-" for the rest.

The renderers' runs are interleaved (every renderer once, then again) so that a slow moment
of the machine falls on all of them alike. Every render writes an uncompressed PPM picture,
so that writing costs about the same everywhere. A render that fails or outlives its
timeout ends the run with a message and a non-zero status.

Python 3 standard library only; run it on an otherwise idle machine.
"""

import argparse
import os
import platform
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(HERE))
import scenes as scene_list  # noqa: E402

DEFAULT_BUILD = ROOT / "build" / "release"
MT_THREADS = 2
MPIRUN = "mpirun"
MPI_RANKS = (1, 2, 3)


class BenchError(Exception):
    """A failure that ends the run: its message is printed and the exit status is 1."""


# ---------------------------------------------------------------------------------------------
# Running one program


@dataclass
class Measure:
    wall: float        # seconds from start to exit
    cpu: float         # user + system seconds of the child
    maxrss_kb: int     # its peak resident set, as the kernel counts it
    output: str        # stdout and stderr together
    stats: dict = field(default_factory=dict)  # lumora's --stats block, when it printed one


# A process starts with the peak memory of the one that forked it, and this runner is larger
# than a small render. GNU time forks the program from a process of a megabyte or two and
# reports the program's own peak; without it the kernel's figure for the direct child is used,
# which can be no smaller than this runner was.
TIME_PROGRAM = "/usr/bin/time"


def memory_source():
    return "GNU time" if os.access(TIME_PROGRAM, os.X_OK) else "wait4 (includes the runner)"


def run_program(command, cwd, timeout, log_path):
    """Runs command in cwd with its output in log_path; returns (status, wall, cpu, peak KB,
    output). The child is waited for with wait4, which gives its own resource usage (processor
    time and peak memory) rather than a sum over every child so far. A child that outlives the
    timeout is killed with its process group and reported as status None."""
    peak_file = Path(f"{log_path}.peak")
    peak_file.unlink(missing_ok=True)
    if os.access(TIME_PROGRAM, os.X_OK):
        command = [TIME_PROGRAM, "-f", "%M", "-o", str(peak_file)] + list(command)
    with open(log_path, "wb") as log:
        start = time.perf_counter()
        try:
            child = subprocess.Popen(command, cwd=cwd, stdout=log, stderr=subprocess.STDOUT,
                                     stdin=subprocess.DEVNULL, start_new_session=True)
        except OSError as error:
            raise BenchError(f"cannot start {command[0]}: {error}") from error
        result = {}

        def reap():
            _, status, usage = os.wait4(child.pid, 0)
            result["wall"] = time.perf_counter() - start
            result["status"] = status
            result["usage"] = usage

        waiter = threading.Thread(target=reap, daemon=True)
        waiter.start()
        waiter.join(timeout)
        timed_out = waiter.is_alive()
        if timed_out:
            try:
                os.killpg(child.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            waiter.join()
        # The child is reaped: tell the Popen object so that it never waits for it again.
        child.returncode = os.waitstatus_to_exitcode(result["status"])
    output = Path(log_path).read_text(errors="replace")
    status = None if timed_out else child.returncode
    usage = result["usage"]
    peak_kb = usage.ru_maxrss
    try:
        # GNU time's last line is the figure asked for (a note on the status may precede it).
        peak_kb = int(peak_file.read_text().split()[-1])
    except (OSError, ValueError, IndexError):
        pass
    return status, result["wall"], usage.ru_utime + usage.ru_stime, peak_kb, output


STATS_LINE = re.compile(r"^  ([a-z][a-z -]*?):\s+(.*?)\s*$")


def parse_stats(text):
    """The values of lumora's --stats block: ray counts as integers, times in seconds, the
    peak memory in MB and the hierarchy as (composites, primitives, depth). Empty when the
    text has no such block."""
    at = text.rfind("\n Statistics")
    if at < 0:
        return {}
    stats = {}
    for line in text[at:].splitlines()[2:]:
        match = STATS_LINE.match(line)
        if not match:
            if stats:
                break
            continue
        key, value = match.group(1), match.group(2)
        if key.endswith(" rays") or key == "queue high-water mark":
            stats[key] = int(value)
        elif key.endswith(" time"):
            stats[key] = float(value.split()[0])
        elif key == "peak memory":
            number, unit = value.split()
            stats[key] = float(number) * {"KB": 1 / 1024, "MB": 1.0, "GB": 1024.0}[unit]
        elif key == "hierarchy nodes":
            numbers = re.findall(r"\d+", value)
            stats[key] = tuple(int(n) for n in numbers)
        else:
            stats[key] = value
    return stats


RENDERING_TIME = re.compile(r"Rendering time:\s*([\d.]+)")


# ---------------------------------------------------------------------------------------------
# The renderers


@dataclass
class Renderer:
    label: str          # as printed: lumora, lumora-mt, lumora-mpi-3, povray-1, tachyon-2, ...
    family: str         # lumora, mpi (lumora-mpi under mpirun), povray or tachyon
    threads: int        # for mpi, the ranks
    program: str
    stats: bool = False  # lumora only: whether it knows --stats

    @property
    def ours(self):
        return self.family in ("lumora", "mpi")

    def command(self, scene, resolution, out_stem):
        """The command line rendering `scene` into out_stem.ppm in the scenes' directory."""
        if self.ours:
            args = [self.program] + scene.lumora_args(resolution) + ["-ppm", "-o", out_stem]
            if self.family == "mpi":
                # One render thread per rank; rank 0 hands out the rows.
                args = [MPIRUN, "--oversubscribe", "-np", str(self.threads)] + args
            elif self.threads > 1:
                args += ["-t", str(self.threads)]
            if self.stats:
                args.append("--stats")
            return args
        w, h = resolution or scene.resolution
        if self.family == "povray":
            # -A: no anti-aliasing, -D: no display, +FP: PPM; the streams that report progress
            # and statistics are off, warnings and fatal errors stay. File_Gamma=1.0 writes
            # the linear colours, as lumora and Tachyon do.
            return [self.program, f"+I{scene.peers['povray']}", f"+O{out_stem}.ppm", "+FP",
                    f"+W{w}", f"+H{h}", "-A", "-D", f"+WT{self.threads}", "-GS", "-GR", "-GD",
                    "-V", "File_Gamma=1.0"]
        # Tachyon: -shade_phong gives the Phong highlight lumora computes (its default is
        # Blinn's); the scene file sets no anti-aliasing and six levels of rays.
        return [self.program, scene.peers["tachyon"], "-res", str(w), str(h), "-format", "PPM",
                "-o", f"{out_stem}.ppm", "-numthreads", str(self.threads), "-shade_phong"]

    def failed(self, status, output):
        """Why a finished render counts as failed, or None. Tachyon reports a file it cannot
        read, or parse, with status 0."""
        if status is None:
            return "timed out"
        if status != 0:
            return f"exit status {status}"
        if self.family == "tachyon" and ("Aborting render" in output or "Parse Error" in output
                                         or "Undefined texture" in output):
            return "Tachyon did not parse the scene"
        return None


PROBE_SCENE = """\
settings { display 8 6 output_type "ppm" output_name "probe" antialiasing "none" }
camera { position <0 -4 1> look_at <0 0 1> }
light { position <2 -4 4> color 1 1 1 attenuation_type "none" }
surface { color 1 0.5 0.2 ambient 0.1 diffuse 0.8 }
sphere { center <0 0 1> radius 1 }
"""


def knows_stats(program, threads, workdir, timeout):
    """Whether the program accepts --stats: a tiny scene is rendered with it. An older program
    refuses the unknown option (usage, status 255); it must then render the scene without it,
    or it is of no use at all."""
    probe = Path(workdir) / "probe.lms"
    probe.write_text(PROBE_SCENE)
    base = [str(program), "-i", probe.name, "-r", "8", "6", "-aan", "-ppm", "-o", "probe"]
    if threads > 1:
        base += ["-t", str(threads)]
    log = Path(workdir) / "probe.log"
    status, _, _, _, output = run_program(base + ["--stats"], workdir, timeout, log)
    if status == 0 and parse_stats(output):
        return True
    status, _, _, _, output = run_program(base, workdir, timeout, log)
    if status != 0:
        raise BenchError(f"{program} cannot render a one-sphere scene "
                         f"({'timed out' if status is None else f'status {status}'}):\n"
                         f"{tail(output)}")
    return False


# On a machine shared with other work, one core can run well below the other for minutes at a
# time (another guest busy on the same physical core), and no program is then twice as fast on
# two threads as on one. Beside every two-thread render the runner renders the probe scene on
# each core alone and reports the ceiling that follows: with cores of speeds r0 and r1, the
# fastest a perfectly parallel program can be on both against one thread on the faster is
# (r0 + r1) / max(r0, r1), at most 2.
PROBE_SIZE = ("640", "480")  # some 30 ms of tracing: long enough to see a core's speed


def core_seconds(program, cpu, workdir, timeout):
    """The best of two renders of the probe scene by `program` held to processor `cpu`."""
    probe = Path(workdir) / "probe.lms"
    probe.write_text(PROBE_SCENE)
    command = [str(program), "-i", probe.name, "-r", *PROBE_SIZE, "-aan", "-ppm", "-o", "probe"]
    best = None
    for _ in range(2):
        start = time.perf_counter()
        done = subprocess.run(command, cwd=workdir, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=timeout,
                              preexec_fn=lambda: os.sched_setaffinity(0, {cpu}))
        seconds = time.perf_counter() - start
        if done.returncode != 0:
            raise BenchError(f"{program} failed on the probe scene (status {done.returncode})")
        best = seconds if best is None else min(best, seconds)
    return best


def two_core_ceiling(program, workdir, timeout):
    """(r0 + r1) / max(r0, r1) for the machine's two processors, or None when this process
    may use another number of them (the threads then have a choice of cores)."""
    cpus = sorted(os.sched_getaffinity(0))
    if len(cpus) != MT_THREADS:
        return None
    seconds = [core_seconds(program, cpu, workdir, timeout) for cpu in cpus]
    return 1 + min(seconds) / max(seconds)


def tail(text, lines=15):
    return "\n".join(text.rstrip().splitlines()[-lines:])


# ---------------------------------------------------------------------------------------------
# Measuring


def measure(renderer, scene, resolution, workdir, timeout):
    """One render of scene by renderer; raises BenchError when it fails."""
    stem = f"out-{scene.name}-{renderer.label}"
    picture = Path(workdir) / f"{stem}.ppm"
    picture.unlink(missing_ok=True)  # a picture left by an earlier run must not pass for this one
    command = renderer.command(scene, resolution, stem)
    status, wall, cpu, peak_kb, output = run_program(command, workdir, timeout,
                                                     Path(workdir) / f"{stem}.log")
    reason = renderer.failed(status, output)
    if reason is None and (not picture.exists() or picture.stat().st_size == 0):
        reason = f"no picture {picture.name} was written"
    if reason:
        raise BenchError(f"{scene.name}: {renderer.label} failed ({reason})\n"
                         f"command: {' '.join(command)}\n"
                         f"in: {workdir}\n{tail(output)}")
    stats = parse_stats(output) if renderer.stats else {}
    if renderer.ours and "render time" not in stats:
        # Without --stats lumora still prints the time of its render loop.
        found = RENDERING_TIME.findall(output)
        if found:
            stats["render time"] = float(found[-1])
    picture.unlink()  # pictures of large runs add up
    return Measure(wall, cpu, peak_kb, output, stats)


@dataclass
class Series:
    """The runs of one renderer on one scene, and for the multithreaded renderer the ceiling
    that the machine's cores set beside each."""
    runs: list = field(default_factory=list)
    ceiling: list = field(default_factory=list)

    def median(self, pick):
        values = [pick(m) for m in self.runs]
        values = [v for v in values if v is not None]
        return statistics.median(values) if values else None

    def best(self, pick):
        values = [pick(m) for m in self.runs if pick(m) is not None]
        return min(values) if values else None


def paired_speedup(single, series):
    """The median of the runs' own speed-ups: each lumora run's wall over that of the
    series' run of the same round, which comes soon after it. A machine whose speed drifts
    over minutes moves both runs of a pair alike, so this figure moves less with it than the
    ratio of the medians does."""
    ratios = [a.wall / b.wall for a, b in zip(single.runs, series.runs) if b.wall > 0]
    return statistics.median(ratios) if ratios else None


def total_rays(measure_):
    keys = ("primary rays", "shadow rays", "reflected rays", "refracted rays")
    if not all(k in measure_.stats for k in keys):
        return None
    return sum(measure_.stats[k] for k in keys)


def rays_per_second(measure_):
    rays = total_rays(measure_)
    seconds = measure_.stats.get("render time")
    if rays is None or not seconds:
        return None
    return rays / seconds


def peak_mb(measure_):
    """The program's own figure when it gives one, else the kernel's."""
    return measure_.stats.get("peak memory", measure_.maxrss_kb / 1024)


# ---------------------------------------------------------------------------------------------
# Tables


def fmt(value, digits=2, unit=""):
    if value is None:
        return "-"
    return f"{value:.{digits}f}{unit}"


def render_table(headers, rows, markdown, align=None):
    """Rows of strings as an aligned text table, or as a Markdown table."""
    align = align or ["l"] + ["r"] * (len(headers) - 1)
    if markdown:
        lines = ["| " + " | ".join(headers) + " |",
                 "|" + "|".join("---:" if a == "r" else "---" for a in align) + "|"]
        lines += ["| " + " | ".join(row) + " |" for row in rows]
        return "\n".join(lines)
    widths = [max(len(str(c)) for c in column) for column in zip(headers, *rows)]

    def line(cells):
        return "  ".join(c.rjust(w) if a == "r" else c.ljust(w)
                         for c, w, a in zip(cells, widths, align)).rstrip()

    return "\n".join([line(headers), line(["-" * w for w in widths])] + [line(r) for r in rows])


def lumora_rows(results, chosen, renderers):
    rows = []
    for scene in chosen:
        single = results.get((scene.name, "lumora"))
        for renderer in renderers:
            if not renderer.ours:
                continue
            series = results.get((scene.name, renderer.label))
            if series is None:
                continue
            wall = series.median(lambda m: m.wall)
            peak = series.median(peak_mb)
            per_face = (f"{peak * 1024 * 1024 / scene.faces:.0f}"
                        if scene.faces and peak is not None else "-")
            rate = series.median(rays_per_second)
            speedup = paired = "-"
            ceiling = fmt(statistics.median(series.ceiling), 2, "x") if series.ceiling else "-"
            if (renderer.threads > 1 or renderer.family == "mpi") and single is not None:
                speedup = (fmt(single.median(lambda m: m.wall) / wall, 2, "x") + " ("
                           + fmt(single.best(lambda m: m.wall) / series.best(lambda m: m.wall),
                                 2, "x") + ")")
                paired = fmt(paired_speedup(single, series), 2, "x")

            def phase(key, s=series):
                return fmt(s.median(lambda m: m.stats.get(key)), 3)

            rows.append([scene.name, renderer.label,
                         fmt(wall, 2), fmt(series.best(lambda m: m.wall), 2),
                         fmt(series.median(lambda m: m.cpu), 2),
                         fmt(peak, 1), per_face,
                         fmt(rate / 1e6 if rate else None, 2),
                         speedup, paired, ceiling,
                         phase("parse time"), phase("hierarchy time"), phase("render time"),
                         phase("write time")])
    headers = ["scene", "program", "wall s", "best s", "cpu s", "peak MB", "B/face",
               "Mrays/s", "speed-up", "paired", "machine", "parse s", "hierarchy s", "render s",
               "write s"]
    return headers, rows


def peer_rows(results, chosen, resolution):
    def wall(scene, label):
        series = results.get((scene.name, label))
        if series is None:
            return None, None
        return series.median(lambda m: m.wall), series.best(lambda m: m.wall)

    def cell(pair):
        median, best = pair
        return "-" if median is None else f"{median:.2f} ({best:.2f})"

    def ratio(a, b):
        return "-" if a[0] is None or b[0] is None else f"{a[0] / b[0]:.2f}"

    rows = []
    for scene in chosen:
        if not scene.peers:
            continue
        lum, mt = wall(scene, "lumora"), wall(scene, "lumora-mt")
        t1, t2 = wall(scene, "tachyon-1"), wall(scene, "tachyon-2")
        p1, p2 = wall(scene, "povray-1"), wall(scene, "povray-2")
        if t1[0] is None and p1[0] is None:
            continue
        w, h = resolution or scene.resolution
        rows.append([scene.name, f"{w}x{h}", cell(lum), cell(t1), ratio(lum, t1), cell(p1),
                     ratio(lum, p1), cell(mt), cell(t2), ratio(mt, t2), cell(p2), ratio(mt, p2)])
    headers = ["scene", "size", "lumora", "tachyon 1T", "lumora/tachyon", "povray 1T",
               "lumora/povray", f"lumora-mt {MT_THREADS}T", f"tachyon {MT_THREADS}T",
               "mt/tachyon", f"povray {MT_THREADS}T", "mt/povray"]
    return headers, rows


def resource_rows(results, chosen, renderers):
    """Processor seconds and peak memory of every renderer of the shape scenes, one thread."""
    singles = [r for r in renderers if r.threads == 1]
    rows = []
    for scene in chosen:
        if not scene.peers:
            continue
        row = [scene.name]
        for renderer in singles:
            series = results.get((scene.name, renderer.label))
            if series is None:
                row += ["-", "-"]
                continue
            row += [fmt(series.median(lambda m: m.cpu), 2),
                    fmt(series.median(lambda m: m.maxrss_kb / 1024), 1)]
        rows.append(row)
    headers = ["scene"]
    for renderer in singles:
        name = renderer.family
        headers += [f"{name} cpu s", f"{name} MB"]
    return headers, rows


def machine_summary():
    model = platform.processor() or platform.machine()
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    memory = ""
    try:
        for line in Path("/proc/meminfo").read_text().splitlines():
            if line.startswith("MemTotal"):
                memory = f", {int(line.split()[1]) / 1024 / 1024:.0f} GiB"
                break
    except OSError:
        pass
    return f"{model}, {os.cpu_count()} logical cores{memory}, Linux {platform.release()}"


# ---------------------------------------------------------------------------------------------
# The command line


def parse_args(argv):
    parser = argparse.ArgumentParser(
        description="Renders the benchmark scenes with lumora, lumora-mt and, when installed, "
                    "POV-Ray and Tachyon, and prints the times.")
    parser.add_argument("--lumora", type=Path, default=DEFAULT_BUILD / "lumora",
                        help="the single-threaded program (default: build/release/lumora)")
    parser.add_argument("--lumora-mt", type=Path, default=DEFAULT_BUILD / "lumora-mt",
                        help="the multithreaded program (default: build/release/lumora-mt)")
    parser.add_argument("--runs", type=int, default=3, help="runs of each render (default 3)")
    parser.add_argument("--scenes", default="",
                        help="comma-separated scene names (default: all): "
                             + ", ".join(s.name for s in scene_list.SCENES))
    parser.add_argument("--resolution", type=int, nargs=2, metavar=("W", "H"),
                        help="render every scene at this size instead of its own")
    parser.add_argument("--lumora-mpi", type=Path, default=DEFAULT_BUILD / "lumora-mpi",
                        help="the MPI program (default: build/release/lumora-mpi)")
    parser.add_argument("--mpi", action=argparse.BooleanOptionalAction, default=None,
                        help="also render with lumora-mpi on 1, 2 and 3 ranks, one thread each "
                             "(default: when it is built and mpirun is on the PATH)")
    parser.add_argument("--peers", action=argparse.BooleanOptionalAction, default=None,
                        help="also render with POV-Ray and Tachyon (default: when on the PATH)")
    parser.add_argument("--markdown", action="store_true", help="print Markdown tables")
    parser.add_argument("--timeout", type=float, default=1800,
                        help="seconds before a render counts as hung (default 1800)")
    parser.add_argument("--keep", type=Path, metavar="DIR",
                        help="generate into DIR and keep it, with the renderers' logs")
    args = parser.parse_args(argv)
    if args.runs < 1:
        parser.error("--runs must be at least 1")
    if args.resolution and min(args.resolution) < 1:
        parser.error("--resolution needs positive sizes")
    return args


def mpi_renderers(args, stats):
    """lumora-mpi on 1, 2 and 3 ranks when asked for, or by default when it was built and
    mpirun is on the PATH. mpirun refuses to run as root unless told it may."""
    program = Path(args.lumora_mpi).resolve()
    usable = program.is_file() and shutil.which(MPIRUN) is not None
    if args.mpi and not usable:
        raise BenchError(f"--mpi: needs {program} (built when MPI is installed: "
                         f"scripts/setup.sh release) and {MPIRUN} on the PATH")
    if args.mpi is False or not usable:
        return []
    if os.geteuid() == 0:
        os.environ.setdefault("OMPI_ALLOW_RUN_AS_ROOT", "1")
        os.environ.setdefault("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1")
    return [Renderer(f"lumora-mpi-{ranks}", "mpi", ranks, str(program), stats)
            for ranks in MPI_RANKS]


def find_program(path, what):
    path = Path(path).resolve()
    if not path.is_file() or not os.access(path, os.X_OK):
        raise BenchError(f"{what} not found at {path}: build it with `scripts/setup.sh release` "
                         f"(which writes build/release/lumora and lumora-mt), or name it with "
                         f"--{what}")
    return path


def note(text):
    print(text, file=sys.stderr, flush=True)


def benchmark(args, workdir):
    try:
        chosen = scene_list.select([n for n in args.scenes.split(",") if n])
    except KeyError as error:
        raise BenchError(error.args[0]) from error
    lumora = find_program(args.lumora, "lumora")
    lumora_mt = find_program(args.lumora_mt, "lumora-mt")

    peers = {}
    if args.peers is not False:
        for name in ("povray", "tachyon"):
            found = shutil.which(name)
            if found:
                peers[name] = found
            elif args.peers:
                raise BenchError(f"--peers: {name} is not on the PATH "
                                 f"(Debian: apt-get install {name})")

    renderers = [Renderer("lumora", "lumora", 1, str(lumora)),
                 Renderer("lumora-mt", "lumora", MT_THREADS, str(lumora_mt))]
    for renderer in renderers:
        renderer.stats = knows_stats(renderer.program, renderer.threads, workdir, args.timeout)
    renderers += mpi_renderers(args, renderers[1].stats)
    for name, program in peers.items():
        for threads in (1, MT_THREADS):
            renderers.append(Renderer(f"{name}-{threads}", name, threads, program))

    note(f"Generating {len(chosen)} scene(s) into {workdir}")
    for scene in chosen:
        # In a process of its own, so that this one stays small (see TIME_PROGRAM).
        started = time.monotonic()
        command = [sys.executable, str(HERE / "scenes.py"), str(workdir), scene.name]
        if args.resolution:
            command += ["--resolution", *map(str, args.resolution)]
        generated = subprocess.run(command, capture_output=True, text=True, timeout=args.timeout)
        if generated.returncode != 0:
            raise BenchError(f"generating {scene.name} failed:\n{generated.stdout}"
                             f"{generated.stderr}")
        note(f"  {generated.stdout.strip()}  (whole step {time.monotonic() - started:.2f} s)")

    results = {}
    for scene in chosen:
        active = [r for r in renderers if r.ours or r.family in scene.peers]
        for run in range(args.runs):
            for renderer in active:
                series = results.setdefault((scene.name, renderer.label), Series())
                if renderer.label == "lumora-mt":
                    ceiling = two_core_ceiling(lumora, workdir, args.timeout)
                    if ceiling is not None:
                        series.ceiling.append(ceiling)
                m = measure(renderer, scene, args.resolution, workdir, args.timeout)
                series.runs.append(m)
                note(f"  {scene.name:12} run {run + 1}/{args.runs}  {renderer.label:10} "
                     f"{m.wall:8.2f} s")
    return chosen, renderers, peers, results


def report(args, chosen, renderers, peers, results):
    out = []
    stats_note = {r.label: ("--stats" if r.stats else "measured from outside")
                  for r in renderers if r.ours}
    size = (f"{args.resolution[0]}x{args.resolution[1]} for every scene" if args.resolution
            else "each scene's own size")
    header = [f"Machine: {machine_summary()}",
              f"Programs: lumora ({stats_note['lumora']}), lumora-mt -t {MT_THREADS} "
              f"({stats_note['lumora-mt']})"
              + (", lumora-mpi (one thread per rank)"
                 if any(r.family == "mpi" for r in renderers) else "")
              + "".join(f", {name}" for name in peers),
              f"Runs: {args.runs} of each render, interleaved; {size}; medians, best of the "
              f"runs beside them"]
    if args.markdown:
        out += [line + "  " for line in header]
    else:
        out += header
    out.append("")
    headers, rows = lumora_rows(results, chosen, renderers)
    out.append(render_table(headers, rows, args.markdown, ["l", "l"] + ["r"] * 13))
    if peers:
        headers, rows = peer_rows(results, chosen, args.resolution)
        if rows:
            out += ["", "Wall seconds, median (best); ratios of medians, below 1 when lumora "
                        "is faster:", ""]
            out.append(render_table(headers, rows, args.markdown))
            headers, rows = resource_rows(results, chosen, renderers)
            out += ["", "One thread: median processor seconds and peak resident memory "
                        f"({memory_source()}):", ""]
            out.append(render_table(headers, rows, args.markdown))
    note_lines = [
        "",
        "Rays/s counts primary, shadow, reflected and refracted rays over the render time; "
        "the speed-up is the ratio of the median walls, that of the best walls in brackets "
        "(a busy moment of the machine only ever adds time, so the best runs show most "
        "nearly what the programs themselves do); paired is the median of the runs' own "
        "speed-ups, each lumora run over the run of the same round; machine is the most that "
        "two threads could gain at the time, from the speeds of the two cores (a small scene rendered on each "
        "alone beside every lumora-mt run; median); peak memory is the program's own figure "
        f"with --stats, else its maximum resident set ({memory_source()}); B/face is peak memory over the model's faces.",
    ]
    out += note_lines
    return "\n".join(out)


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    try:
        if args.keep:
            args.keep.mkdir(parents=True, exist_ok=True)
            found = benchmark(args, args.keep.resolve())
        else:
            with tempfile.TemporaryDirectory(prefix="lumora-bench-") as workdir:
                found = benchmark(args, Path(workdir))
    except BenchError as error:
        print(f"run.py: {error}", file=sys.stderr)
        return 1
    print(report(args, *found))
    return 0


if __name__ == "__main__":
    sys.exit(main())
