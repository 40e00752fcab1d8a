#!/usr/bin/env python3
"""The Python side of the benchmark suite, on the XY files of bench/generate.py.

    bench/bench.py [--data DIR] [--points 1000000] [--json]

Times, best of several runs, on the same XY file held in memory:
  read_bytes          vorlen.read_bytes alone (the parse; the Pattern keeps C++ vectors);
  read_bytes+x+y      the same, then both list properties;
  lists floor         building the two lists of the same floats from packed doubles
                      (array.tolist: one preallocated list, one float object per element);
  numpy.loadtxt       what a user would pick instead.
Then, in a fresh process (getrusage), the peak memory one read adds beyond the input bytes
already held, and what the two lists add after it.
"""

import argparse
import io
import json
import pathlib
import resource
import subprocess
import sys
import time
from array import array

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from generate import default_dir  # noqa: E402  (the cache folder shared with the generator)

def best(function, repeat):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        function()
        times.append(time.perf_counter() - start)
    return min(times)


def timings(data, name, repeat):
    import numpy
    import vorlen

    pattern = vorlen.read_bytes(data, name)
    packed_x, packed_y = array("d", pattern.x).tobytes(), array("d", pattern.y).tobytes()

    def with_lists():
        read = vorlen.read_bytes(data, name)
        return read.x, read.y

    def floor():
        return array("d", packed_x).tolist(), array("d", packed_y).tolist()

    return {
        "read_bytes": best(lambda: vorlen.read_bytes(data, name), repeat),
        "read_bytes+x+y": best(with_lists, repeat),
        "lists floor": best(floor, repeat),
        "numpy.loadtxt": best(lambda: numpy.loadtxt(io.BytesIO(data)), max(1, repeat // 3)),
    }


def peak_memory(path):
    """Runs one read in a fresh process; returns (input bytes, points, peak bytes the read adds
    beyond the input, the Pattern included, and the bytes the two lists add after it)."""
    child = f"""
import resource, vorlen
peak = lambda: resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
data = open({str(path)!r}, "rb").read()
before = peak()
pattern = vorlen.read_bytes(data, {path.name!r})
read = peak()
x, y = pattern.x, pattern.y
print(len(data), len(x), read - before, peak() - read)
"""
    out = subprocess.run([sys.executable, "-c", child], check=True, capture_output=True,
                         text=True).stdout.split()
    return tuple(map(int, out))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", type=pathlib.Path, default=default_dir())
    parser.add_argument("--points", type=int, default=1000000)
    parser.add_argument("--repeat", type=int, default=7)
    parser.add_argument("--json", action="store_true", help="print the figures as JSON")
    args = parser.parse_args(argv[1:])
    path = args.data / f"xy_{args.points}.xy"
    # First, while this process is small: Linux carries the peak over into the child.
    size, points, extra, lists = peak_memory(path)
    data = path.read_bytes()
    result = {"file": path.name, "seconds": timings(data, path.name, args.repeat)}
    result["memory"] = {"input bytes": size, "points": points, "read bytes": extra,
                        "lists bytes": lists, "allowed bytes": size + 20 * points}
    if args.json:
        print(json.dumps(result))
        return 0
    seconds = result["seconds"]
    for key, value in seconds.items():
        print(f"{key:<16} {value * 1000:9.2f} ms")
    print(f"loadtxt / read_bytes          {seconds['numpy.loadtxt'] / seconds['read_bytes']:6.2f}"
          "  (target >= 2)")
    print(f"(read+x+y) / (read + floor)   "
          f"{seconds['read_bytes+x+y'] / (seconds['read_bytes'] + seconds['lists floor']):6.2f}"
          "  (target <= 1.15)")
    print(f"peak memory of the read {extra / 2**20:.1f} MiB (allowed "
          f"{(size + 20 * points) / 2**20:.1f} MiB: input + 20 B/point); "
          f"the two lists add {lists / 2**20:.1f} MiB")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
