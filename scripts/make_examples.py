#!/usr/bin/env python3
"""Writes the example files in examples/: one small silicon pattern per supported format.

The output is deterministic (fixed timestamps and member order in the ZIP archives), so running
the script again reproduces the committed files byte for byte. The tests import `examples()`
to learn what each file must read back as.

    scripts/make_examples.py [OUTDIR]      (default: the examples/ folder of the project)
"""

import math
import pathlib
import sys
from dataclasses import dataclass, field

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import writers  # noqa: E402  (found beside this script)

ROOT = pathlib.Path(__file__).resolve().parents[1]
MADE_BY = "synthetic example made by scripts/make_examples.py"

# Silicon 111, 220 and 311 reflections for Cu K-alpha: (2theta, height, FWHM).
PEAKS = ((28.443, 1200.0, 0.35), (47.303, 750.0, 0.40), (56.123, 420.0, 0.42))


def counts(two_theta):
    """Integral counts of a smooth model pattern: a falling background plus three peaks."""
    value = 40.0 + 800.0 / two_theta
    for centre, height, fwhm in PEAKS:
        value += height * math.exp(-4.0 * math.log(2.0) * ((two_theta - centre) / fwhm) ** 2)
    return round(value)


@dataclass
class Scan:
    """One scan as the reader must return it: x = i * step + start (as the step-based readers
    compute it) and integral counts."""

    start: float
    step: float
    n: int
    x: list = field(init=False)
    y: list = field(init=False)

    def __post_init__(self):
        self.x = [i * self.step + self.start for i in range(self.n)]
        self.y = [counts(t) for t in self.x]

    def written(self, spec):
        """The same scan with x as read back from the text `format(x, spec)` of a file."""
        copy = Scan(self.start, self.step, self.n)
        copy.x = [float(format(x, spec)) for x in self.x]
        return copy


@dataclass
class Example:
    name: str
    format: str
    content: bytes
    scans: list
    note: str = ""


MAIN = Scan(20.0, 0.2, 201)   # every example's first (or only) scan: 20 to 60 degrees
DETAIL = Scan(27.0, 0.05, 61)  # the second scan of the multi-scan examples: 27 to 30 degrees


# --- one example per format, written by the shared writers ----------------------------------

def xy():
    content = writers.xy(MAIN, 2, f"Silicon, Cu K-alpha; {MADE_BY}")
    return Example("silicon.xy", "XY", content, [MAIN.written(".2f")])


def chi():
    content = writers.chi(MAIN, f"Silicon, azimuthally integrated; {MADE_BY}")
    return Example("silicon.chi", "CHI", content, [MAIN.written(".7E")])


def ras():
    content = writers.ras([MAIN, DETAIL], 4, MADE_BY)
    return Example("silicon.ras", "RAS", content, [MAIN.written(".4f"), DETAIL.written(".4f")])


def uxd():
    content = writers.uxd([(MAIN, True), (DETAIL, False)], f"Silicon; {MADE_BY}")
    return Example("silicon.uxd", "UXD", content, [MAIN.written(".6f"), DETAIL])


def gsas():
    return Example("silicon.gsa", "GSAS (STD)", writers.gsas_std(MAIN, f"Silicon, {MADE_BY}"), [MAIN])


def pdcif():
    content = writers.pdcif(MAIN, 2, "Si", f"Silicon powder pattern; {MADE_BY}")
    return Example("silicon.cif", "pdCIF", content, [MAIN], "blocks Si_phase, Si_profile")


def raw3():
    content = writers.raw3([(MAIN, False), (DETAIL, True)])
    return Example("silicon_v3.raw", "Bruker RAW v3", content, [MAIN, DETAIL],
                   "scan 1 stores each angle in its record")


def raw4():
    return Example("silicon_v4.raw", "Bruker RAW v4", writers.raw4(MAIN, MADE_BY), [MAIN])


def xrdml():
    start, end = f"{MAIN.start:.4f}", f"{MAIN.x[-1]:.4f}"
    content = writers.xrdml(MAIN, start, end, f"Silicon, {MADE_BY}")
    # x[i] = i * (end - start) / (n - 1) + start, as the reader computes it.
    scan = MAIN.written(".4f")
    first, last = float(start), float(end)
    scan.x = [i * (last - first) / (MAIN.n - 1) + first for i in range(MAIN.n)]
    return Example("silicon.xrdml", "XRDML", content, [scan])


def brml():
    return Example("silicon.brml", "BRML", writers.brml(MAIN, 4, MADE_BY), [MAIN.written(".4f")])


def rasx():
    return Example("silicon.rasx", "RASX", writers.rasx(MAIN, 4, MADE_BY), [MAIN.written(".4f")])


def examples():
    return [xy(), chi(), ras(), uxd(), gsas(), pdcif(), raw3(), raw4(), xrdml(), brml(), rasx()]


def readme(made):
    rows = ["# Example files", "",
            "Small synthetic silicon patterns (Cu K-alpha), one per format, written by",
            "`scripts/make_examples.py`; run it again to regenerate them.", "",
            "| file | format | scans (`--index`) | points | 2theta range | note |",
            "|---|---|---|---|---|---|"]
    for e in made:
        scans = "; ".join(f"{i}: {s.n}" for i, s in enumerate(e.scans))
        ranges = "; ".join(f"{s.x[0]:g} to {s.x[-1]:g}" for s in e.scans)
        rows.append(f"| `{e.name}` | {e.format} | {len(e.scans)} | {scans} | {ranges} | {e.note} |")
    return "\n".join(rows) + "\n"


def main(argv):
    out = pathlib.Path(argv[1]) if len(argv) > 1 else ROOT / "examples"
    out.mkdir(parents=True, exist_ok=True)
    made = examples()
    for e in made:
        (out / e.name).write_bytes(e.content)
    (out / "README.md").write_text(readme(made))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
