"""Many different reads at once from 8 threads give exactly the serial results.

The inputs are the example files of every format (each scan of the multi-scan ones), the real
files of ../shared/corpus when present, and inputs that fail in different ways, so results,
messages and exception types are all compared. Under the GIL this checks that a read keeps no
state between calls; on a free-threaded interpreter (the module declares it needs no GIL) the
reads truly overlap.
"""

import pathlib
import random
import threading

import vorlen
from conftest import CORPUS

ROOT = pathlib.Path(__file__).resolve().parents[1]
EXAMPLES = ROOT / "examples"
THREADS = 8
ROUNDS = 2

FAILING = [
    (b"", "empty.xy", 0),
    (b"1 2\n3 4\n", "two.xy", 1),
    (b"RAW2" + bytes(60), "old.raw", 0),
    (b"PK\x05\x06" + bytes(18), "empty.zip", 0),
    (b"<!DOCTYPE x><xrdMeasurements/>", "d.xrdml", 0),
    (b"t\nBANK 1 0 1 CONST 1000 5\n", "zero.gsa", 0),
    (b"\xff\xfeA", "odd.xy", 0),
    (b"not a zip", "fake.brml", 0),
]


def calls():
    """(description, zero-argument call) for every read of the test."""
    made = []
    for path in sorted(EXAMPLES.iterdir()):
        if path.suffix in (".md", ".py", ".cpp"):  # the README and the example programs
            continue
        data = path.read_bytes()
        scans = 2 if path.name in ("silicon.ras", "silicon.uxd", "silicon_v3.raw") else 1
        for index in range(scans + 1):  # one past the last scan fails with its range message
            made.append((f"{path.name}[{index}]",
                         lambda d=data, n=path.name, i=index: vorlen.read_bytes(d, n, index=i)))
        made.append((f"path {path.name}", lambda p=str(path): vorlen.read(p)))
    if CORPUS.is_dir():
        for path in sorted(p for p in CORPUS.rglob("*") if p.is_file() and p.parent != CORPUS):
            made.append((f"corpus {path.name}", lambda p=str(path): vorlen.read(p)))
    for data, name, index in FAILING:
        made.append((f"failing {name}",
                     lambda d=data, n=name, i=index: vorlen.read_bytes(d, n, index=i)))
    made.append(("missing file", lambda: vorlen.read(str(ROOT / "no such file.xy"))))
    return made


def outcome(call):
    try:
        pattern = call()
    except Exception as error:  # the type and text are what is compared
        return (type(error), str(error))
    return (pattern.x, pattern.y)


def test_reads_from_eight_threads_equal_the_serial_reads():
    made = calls()
    serial = [outcome(call) for _, call in made]
    assert any(isinstance(o[0], list) for o in serial), "no successful read to compare"
    start = threading.Barrier(THREADS)
    results = [None] * THREADS

    def worker(slot):
        order = list(range(len(made))) * ROUNDS
        random.Random(slot).shuffle(order)  # every thread meets the inputs in its own order
        start.wait()
        results[slot] = [(i, outcome(made[i][1])) for i in order]

    threads = [threading.Thread(target=worker, args=(slot,)) for slot in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for slot, seen in enumerate(results):
        assert seen is not None, f"thread {slot} did not finish"
        for i, got in seen:
            assert got == serial[i], f"thread {slot}, {made[i][0]}"

