#!/usr/bin/env python3
"""Prints one table from the outputs of the two benchmarks.

    bench/report.py CPP_JSON PY_JSON

Per format and size: reader and floor throughput (the best CPU time of the repetitions), the
reader's share of the floor's speed against its target, and for the XML and archive formats the
share of the read spent in expat and libzip, and the cost of describing the file in reads of it
(at most 3). The share comes from the paired benchmark, which
times the reader and the floor back to back: the median over its repetitions of their median
ratio, which moves far less with other load on the machine than two separate timings do.
Then the Python figures.
"""

import json
import statistics
import sys

TARGETS = {"text": 0.70, "raw": 0.70, "xml": 0.60, "archive": 0.60}
# Describing a file may cost at most this many reads of it.
DESCRIBE_LIMIT = 3.0
KINDS = {"raw3": "raw", "raw4": "raw", "xrdml": "xml", "brml": "archive", "rasx": "archive"}


def cpp_table(path):
    runs = {}
    for run in json.load(open(path))["benchmarks"]:
        if run.get("error_occurred"):
            print(f"{run['name']}: {run.get('error_message')}")
            continue
        if run.get("run_type") == "aggregate":
            continue
        what, fmt, points = run["run_name"].split("/")
        best = runs.setdefault((fmt, int(points)), {})
        if what == "pair":
            best.setdefault("ratios", []).append(run["ratio"])
        elif what not in best or run["cpu_time"] < best[what]["cpu_time"]:
            best[what] = run
    print(f"{'format':<12}{'points':>9}{'reader MB/s':>13}{'Mpts/s':>8}{'floor MB/s':>12}"
          f"{'reader/floor':>14}{'target':>8}{'libs share':>12}{'describe/read':>15}")
    missed = 0
    for (fmt, points), found in sorted(runs.items(), key=lambda item: (item[0][1], item[0][0])):
        if "read" not in found or "limit" not in found:
            continue
        read, limit = found["read"], found["limit"]
        ratio = statistics.median(found["ratios"]) if "ratios" in found else \
            limit["cpu_time"] / read["cpu_time"]
        target = TARGETS[KINDS.get(fmt, "text")]
        share = f"{found['libs']['cpu_time'] / read['cpu_time']:.0%}" if "libs" in found else ""
        describe = found["describe"]["cpu_time"] / read["cpu_time"] if "describe" in found else 0
        flag = "" if ratio >= target and describe <= DESCRIBE_LIMIT else "  MISSED"
        missed += bool(flag)
        print(f"{fmt:<12}{points:>9}{read['bytes_per_second'] / 1e6:>13.1f}"
              f"{read['points/s'] / 1e6:>8.1f}{limit['bytes_per_second'] / 1e6:>12.1f}"
              f"{ratio:>13.0%} {target:>7.0%}{share:>12}{describe:>14.2f}x{flag}")
    return missed


def py_table(path):
    result = json.load(open(path))
    seconds, memory = result["seconds"], result["memory"]
    print(f"\nPython, {result['file']} (best times)")
    for key, value in seconds.items():
        print(f"  {key:<16}{value * 1000:9.1f} ms")
    speedup = seconds["numpy.loadtxt"] / seconds["read_bytes"]
    overhead = seconds["read_bytes+x+y"] / (seconds["read_bytes"] + seconds["lists floor"])
    print(f"  numpy.loadtxt / read_bytes           {speedup:5.2f}   target >= 2")
    print(f"  (read_bytes+x+y) / (read + floor)    {overhead:5.2f}   target <= 1.15")
    print(f"  peak memory of the read  {memory['read bytes'] / 2**20:7.1f} MiB   allowed "
          f"{memory['allowed bytes'] / 2**20:.1f} MiB (input + 20 B/point); "
          f"the lists add {memory['lists bytes'] / 2**20:.1f} MiB")
    return (speedup < 2) + (overhead > 1.15) + (memory["read bytes"] > memory["allowed bytes"])


def main(argv):
    missed = cpp_table(argv[1]) + py_table(argv[2])
    print(f"\n{missed} target(s) missed" if missed else "\nall targets met")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
