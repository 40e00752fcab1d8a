"""Every python block of docs/recipes.md runs as printed and gives what vorlen.read gives.

The blocks run from a scratch folder that holds examples/ and the archives the page tells how
to make; the HTTP block's address is that of a server on 127.0.0.1 serving examples/."""

import functools
import http.server
import pathlib
import re
import tarfile
import threading
import zipfile

import pytest

import vorlen

ROOT = pathlib.Path(__file__).resolve().parents[1]
EXAMPLES = ROOT / "examples"
PAGE = (ROOT / "docs" / "recipes.md").read_text(encoding="utf-8")
PATTERN_FILES = sorted(f"examples/{p.name}" for p in EXAMPLES.glob("silicon*"))
NOT_PATTERNS = sorted(f"examples/{p.name}" for p in EXAMPLES.iterdir()
                      if not p.name.startswith("silicon"))
SCANS = {"silicon.ras": 2, "silicon.uxd": 2, "silicon_v3.raw": 2}


def blocks():
    """(id, heading, code) of each python block, in page order."""
    found = []
    for section in re.split(r"^## ", PAGE, flags=re.M)[1:]:
        heading = section.splitlines()[0]
        codes = re.findall(r"^```python\n(.*?)^```", section, flags=re.M | re.S)
        for n, code in enumerate(codes):
            found.append((f"{heading} {n}" if len(codes) > 1 else heading, heading, code))
    return found


BLOCKS = blocks()


def same(pattern, path, index=0):
    expected = vorlen.read(str(ROOT / path), index=index)
    assert (pattern.x, pattern.y) == (expected.x, expected.y), path


@pytest.fixture(scope="module")
def http_address():
    handler = functools.partial(Quiet, directory=str(EXAMPLES))
    with http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler) as server:
        thread = threading.Thread(target=server.serve_forever, daemon=True)
        thread.start()
        yield f"127.0.0.1:{server.server_address[1]}"
        server.shutdown()
        thread.join()


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


@pytest.fixture
def scratch(tmp_path, monkeypatch):
    """A folder like the project root, with the archives the page makes from examples/."""
    (tmp_path / "examples").symlink_to(EXAMPLES)
    members = sorted(f"examples/{p.name}" for p in EXAMPLES.iterdir())
    with zipfile.ZipFile(tmp_path / "patterns.zip", "w") as archive:
        archive.writestr("examples/", b"")
        for name in members:
            archive.write(ROOT / name, name)
    with tarfile.open(tmp_path / "patterns.tar.gz", "w:gz") as archive:
        archive.add(EXAMPLES, "examples")
    monkeypatch.chdir(tmp_path)
    return tmp_path


def check_numpy(ns):
    same(vorlen.Pattern(ns["two_theta"].tolist(), ns["intensity"].tolist()),
         "examples/silicon.xrdml")
    assert ns["two_theta"].dtype == "float64"
    assert 20.0 <= ns["peak"] <= 60.0


def check_pandas(ns):
    frame = ns["frame"]
    assert list(frame.columns) == ["two_theta", "intensity"]
    same(vorlen.Pattern(frame["two_theta"].tolist(), frame["intensity"].tolist()),
         "examples/silicon_v4.raw")
    assert ns["strongest"]["intensity"].tolist() == sorted(frame["intensity"], reverse=True)[:3]


def check_xarray(ns):
    pattern = ns["pattern"]
    same(vorlen.Pattern(pattern.two_theta.values.tolist(), pattern.values.tolist()),
         "examples/silicon.brml")
    assert pattern.two_theta.attrs["units"] == "degree"
    selected = ns["around_111"].two_theta.values
    assert len(selected) > 0 and selected.min() >= 27.0 and selected.max() <= 30.0


def check_archive(ns):
    assert sorted(ns["patterns"]) == PATTERN_FILES
    for name, pattern in ns["patterns"].items():
        same(pattern, name)
    assert sorted(ns["failures"]) == NOT_PATTERNS


def check_thread_pool(ns):
    check_archive(ns)
    assert all(text.startswith("Parse error: ") for text in ns["failures"].values())


def check_every_scan(ns):
    assert len(ns["scans"]) == 2
    for index, pattern in enumerate(ns["scans"]):
        same(pattern, "examples/silicon.ras", index)


CHECKS = {
    "numpy arrays": check_numpy,
    "A pandas DataFrame": check_pandas,
    "An xarray DataArray with 2θ as its coordinate": check_xarray,
    "Bytes from HTTP": lambda ns: same(ns["p"], "examples/silicon.rasx"),
    "Object storage (S3, GCS, Azure) through fsspec":
        lambda ns: same(ns["p"], "examples/silicon.gsa"),
    "Members of a ZIP or tar archive": check_archive,
    "Many files from a thread pool": check_thread_pool,
    "Every scan of a multi-scan file": check_every_scan,
}


def test_every_block_is_checked():
    assert {heading for _, heading, _ in BLOCKS} == set(CHECKS)


@pytest.mark.parametrize("heading, code", [b[1:] for b in BLOCKS], ids=[b[0] for b in BLOCKS])
def test_block_runs_and_reads_right(heading, code, scratch, http_address):
    namespace = {"__name__": "recipe"}
    exec(compile(code.replace("127.0.0.1:8000", http_address), heading, "exec"), namespace)
    CHECKS[heading](namespace)


def every_scan_function():
    """The recipe's every_scan, defined without running the line that uses it."""
    code = next(code for _, heading, code in BLOCKS if heading == "Every scan of a multi-scan file")
    namespace = {"__name__": "recipe"}
    exec(compile(code.split("\nscans = ")[0], "recipe", "exec"), namespace)
    return namespace["every_scan"]


@pytest.mark.parametrize("name", sorted(p.rsplit("/", 1)[1] for p in PATTERN_FILES))
def test_every_scan_recipe_stops_at_the_end_of_each_format(name):
    scans = list(every_scan_function()(str(EXAMPLES / name)))
    assert len(scans) == SCANS.get(name, 1)
    for index, pattern in enumerate(scans):
        same(pattern, f"examples/{name}", index)


def test_every_scan_recipe_raises_a_defect_of_a_later_scan(tmp_path):
    text = (EXAMPLES / "silicon.uxd").read_text(encoding="utf-8")
    broken = tmp_path / "broken.uxd"
    broken.write_text(text.replace("_STEPSIZE=0.050000", "_STEPSIZE=0.000000"), encoding="utf-8")
    scans = every_scan_function()(str(broken))
    same(next(scans), "examples/silicon.uxd")
    with pytest.raises(ValueError, match="UXD") as raised:
        next(scans)
    assert "out of range" not in str(raised.value)
