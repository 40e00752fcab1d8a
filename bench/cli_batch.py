"""Batch conversion with the vorlen program: one process for 10,000 files against one process
per file, -j 2 against -j 1, and the peak memory of small and large batches.

    python3 bench/cli_batch.py [--cli PATH] [--files N] [--runs N] [--work DIR] [--out DIR]

The inputs are copies of examples/ under distinct names, made once in the work folder. Each
figure is the best of a few runs (a busy machine only ever slows a run down); the process per
file loop runs once. Prints the figures and the ratios the program promises (at least 20 times
faster than a process per file; -j 2 at least 1.6 times faster than -j 1 on two cores).
The outputs go to a temporary folder in --out (default: the system's); a memory file system
(/dev/shm) leaves out the disk's share, which on a shared machine varies from run to run.
"""

import argparse
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]


def make_inputs(folder, count):
    examples = sorted(p for p in (ROOT / "examples").iterdir()
                      if p.suffix not in (".md", ".py", ".cpp"))  # pattern files only
    folder.mkdir(parents=True, exist_ok=True)
    paths = []
    for i in range(count):
        source = examples[i % len(examples)]
        path = folder / f"{i:05d}_{source.stem}{source.suffix}"
        if not path.exists():
            shutil.copyfile(source, path)
        paths.append(str(path))
    return paths


def timed(argv, out=None):
    """Wall seconds, CPU seconds and peak memory (KiB) of one run; `out` is emptied first."""
    if out is not None:
        shutil.rmtree(out, ignore_errors=True)
    start = time.perf_counter()
    process = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    stderr = process.stderr.read().decode()
    process.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{argv[:4]} failed: {stderr[-500:]}")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def best(runs, argv, out):
    return min((timed(argv, out) for _ in range(runs)), key=lambda r: r[0])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default=str(ROOT / ".venv" / "bin" / "vorlen"))
    parser.add_argument("--files", type=int, default=10_000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work", default=os.path.join(os.environ.get("XDG_CACHE_HOME", os.path.expanduser("~/.cache")),
                                                     "vorlen-bench", "cli"))
    parser.add_argument("--out", default=None)
    args = parser.parse_args()
    work = pathlib.Path(args.work)
    inputs = make_inputs(work / "in", args.files)
    with tempfile.TemporaryDirectory(dir=args.out) as scratch:
        out = pathlib.Path(scratch) / "out"
        one = best(args.runs, [args.cli, "--convert", str(out), "-j", "1", *inputs], out)
        two = best(args.runs, [args.cli, "--convert", str(out), "-j", "2", *inputs], out)
        small = best(args.runs, [args.cli, "--convert", str(out), "-j", "1", *inputs[:args.files // 10]], out)
        loop = timed(["bash", "-c", 'cli=$1; out=$2; shift 2; for f in "$@"; do "$cli" --convert "$out" "$f" 2>/dev/null || exit 1; done',
                      "loop", args.cli, str(out), *inputs], out)
    print(f"files: {args.files} copies of examples/ in {work / 'in'}; {os.cpu_count()} cores; "
          f"load average {os.getloadavg()[0]:.2f}")
    print(f"{'run':<34}{'wall s':>9}{'cpu s':>9}{'peak KiB':>10}{'files/s':>10}")
    for name, (wall, cpu, rss), count in [("one process per file (shell loop)", loop, args.files),
                                           ("vorlen --convert -j 1", one, args.files),
                                           ("vorlen --convert -j 2", two, args.files),
                                           (f"vorlen --convert -j 1, {args.files // 10} files", small, args.files // 10)]:
        print(f"{name:<34}{wall:>9.3f}{cpu:>9.3f}{rss if name.startswith('vorlen') else '':>10}{count / wall:>10.0f}")
    print(f"one process for the batch (-j 1) against one per file: {loop[0] / one[0]:.1f}x faster (at least 20)")
    print(f"-j 2 against -j 1: {one[0] / two[0]:.2f}x faster (at least 1.6 on two free cores)")
    print(f"peak memory of {args.files} files against {args.files // 10}: {one[2] / small[2]:.2f}x (flat: about 1)")


if __name__ == "__main__":
    main()
