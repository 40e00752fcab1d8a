#!/usr/bin/env python3
"""Writes large, deterministic, valid measurement files of every format for the benchmarks.

    bench/generate.py [--out DIR] [--sizes 10000,1000000]

The files go to DIR (default ${XDG_CACHE_HOME:-~/.cache}/vorlen-bench), named
`{format}_{points}.{ext}`, together with `manifest.tsv`, one line per file:

    file  format  kind  points  offset  stride  start  step

`kind` tells the benchmarks which limit to measure beside the reader (text: fast_float over the
numbers; raw: widening the float32 records found at `offset`, `stride` bytes apart, x being
i * step + start; xml / archive: expat and inflate over the same bytes plus fast_float over the
numbers). A file already present with the same name is kept: the content depends only on the
name, and the generator version is part of the manifest, so a change here rebuilds the cache.
"""

import argparse
import math
import os
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "scripts"))
import writers  # noqa: E402  (the writers the examples share)

VERSION = "3"
START = 5.0
SPAN = 100.0  # every scan covers 5 to 105 degrees, whatever its number of points
PEAKS = ((28.443, 12000.0, 0.35), (47.303, 7500.0, 0.40), (56.123, 4200.0, 0.42),
         (69.131, 1100.0, 0.45), (76.377, 1600.0, 0.47), (88.032, 2100.0, 0.50))


class Scan:
    """n points from START with a constant step; y is integral counts of a model pattern."""

    def __init__(self, n):
        self.n = n
        self.start = START
        self.step = SPAN / n
        self.x = [i * self.step + START for i in range(n)]
        # A falling background, six peaks and a deterministic ripple so that the digits vary.
        self.y = [round(40.0 + 800.0 / t + sum(h * math.exp(-2.772588722 * ((t - c) / w) ** 2)
                                             for c, h, w in PEAKS if abs(t - c) < 4 * w)
                        + (i * 7919) % 97) for i, t in enumerate(self.x)]


# --- every format, written by the shared writers ---------------------------------------------

TITLE = "Synthetic benchmark pattern"
DIGITS = 6  # decimals of the positions: enough for a step of SPAN / 1000000


# (format, extension, kind, writer, offset of the RAW records)
FORMATS = (
    ("xy", "xy", "text", lambda s: writers.xy(s, DIGITS, TITLE), 0),
    ("chi", "chi", "text", lambda s: writers.chi(s, TITLE, 1.25), 0),
    ("ras", "ras", "text", lambda s: writers.ras([s], DIGITS, TITLE), 0),
    ("uxd_counts", "uxd", "text", lambda s: writers.uxd([(s, False)], TITLE), 0),
    ("uxd_pairs", "uxd", "text", lambda s: writers.uxd([(s, True)], TITLE), 0),
    ("gsas_std", "gsa", "text", lambda s: writers.gsas_std(s, TITLE), 0),
    ("gsas_esd", "gsa", "text", lambda s: writers.gsas_esd(s, TITLE), 0),
    ("gsas_fxye", "gsa", "text", lambda s: writers.gsas_fxye(s, TITLE), 0),
    ("pdcif", "cif", "text", lambda s: writers.pdcif(s, DIGITS, "benchmark", TITLE), 0),
    ("pdcif_scan", "cif", "text", lambda s: writers.pdcif_scan(s, DIGITS, "benchmark", TITLE), 0),
    ("raw3", "raw", "raw", lambda s: writers.raw3([(s, False)]), writers.RAW3_DATA),
    ("raw4", "raw", "raw", lambda s: writers.raw4(s, TITLE), writers.RAW4_DATA),
    ("xrdml", "xrdml", "xml", lambda s: writers.xrdml(s, repr(START), repr(s.x[-1]), TITLE), 0),
    ("brml", "brml", "archive", lambda s: writers.brml(s, DIGITS, TITLE), 0),
    ("rasx", "rasx", "archive", lambda s: writers.rasx(s, DIGITS, TITLE), 0),
)


def default_dir():
    cache = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return pathlib.Path(cache) / "vorlen-bench"


def generate(out, sizes):
    """Writes the missing files and the manifest; returns the manifest rows."""
    out.mkdir(parents=True, exist_ok=True)
    stamp = out / "version"
    if not stamp.exists() or stamp.read_text() != VERSION:
        for old in out.glob("*_*.*"):
            old.unlink()
        stamp.write_text(VERSION)
    rows = []
    for n in sizes:
        scan = None
        for name, ext, kind, writer, offset in FORMATS:
            path = out / f"{name}_{n}.{ext}"
            if not path.exists():
                scan = scan or Scan(n)
                tmp = path.with_suffix(".tmp")
                tmp.write_bytes(writer(scan))
                tmp.replace(path)
            rows.append((path.name, name, kind, n, offset, 4 if kind == "raw" else 0,
                         START, SPAN / n))
    with open(out / "manifest.tsv", "w") as manifest:
        for row in rows:
            manifest.write("\t".join(str(v) if not isinstance(v, float) else repr(v)
                                     for v in row) + "\n")
    return rows


def check(out, rows):
    """Reads every file with vorlen and compares its points with the scan it was written from;
    returns the number of files that failed."""
    import vorlen
    failed = 0
    for name, _, _, n, *_ in rows:
        try:
            pattern = vorlen.read(str(out / name))
            problem = None if len(pattern.x) == n and pattern.x[0] == START else \
                f"{len(pattern.x)} points from {pattern.x[0]}"
        except Exception as error:  # report every refusal, then go on with the next file
            problem = str(error)
        if problem:
            failed += 1
            print(f"{name}: {problem}", file=sys.stderr)
    return failed


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=pathlib.Path, default=default_dir())
    parser.add_argument("--sizes", default="10000,1000000",
                        help="comma-separated numbers of points (default 10000,1000000)")
    parser.add_argument("--check", action="store_true",
                        help="read every file back with vorlen (must be importable)")
    args = parser.parse_args(argv[1:])
    rows = generate(args.out, [int(v) for v in args.sizes.split(",")])
    if args.check:
        return 1 if check(args.out, rows) else 0
    for row in rows:
        print(args.out / row[0])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
