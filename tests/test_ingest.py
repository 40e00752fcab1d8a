"""examples/ingest.py: a run on a two-worker local Dask cluster writes every scan of every input
into the NeXus file exactly as vorlen.read gives it, records bad inputs in /failures and goes on;
the output is complete or absent; the wavelengths the files state land in instrument/beam."""

import importlib.util
import json
import pathlib
import shutil
import subprocess
import sys

import h5py
import pytest

import vorlen

ROOT = pathlib.Path(__file__).resolve().parents[1]
EXAMPLES = ROOT / "examples"
INGEST = EXAMPLES / "ingest.py"
SCANS = {"silicon.ras": 2, "silicon.uxd": 2, "silicon_v3.raw": 2}
BROKEN = b"<?xml version='1.0'?><xrdMeasurements><xrdMeasurement/></xrdMeasurements>"

spec = importlib.util.spec_from_file_location("ingest", INGEST)
ingest = importlib.util.module_from_spec(spec)
spec.loader.exec_module(ingest)


def read_error(path):
    with pytest.raises(ValueError) as raised:
        vorlen.read(str(path))
    return str(raised.value)


@pytest.fixture(scope="module")
def run(tmp_path_factory):
    """One run over a folder, a glob, an fsspec URL, a missing file, a pattern matching nothing
    and a URL of no known file system; the folder also holds a file that is no pattern."""
    work = tmp_path_factory.mktemp("ingest")
    data, extra = work / "data", work / "extra"
    data.mkdir()
    extra.mkdir()
    for example in sorted(EXAMPLES.glob("silicon*")):
        shutil.copy(example, data / example.name)
    (data / "broken.xrdml").write_bytes(BROKEN)
    shutil.copy(EXAMPLES / "silicon.xy", extra / "more.xy")
    inputs = ["data", f"file://{extra}/*.xy", "missing.raw", "absent/*.brml", "nosuch://x.raw"]
    done = subprocess.run([sys.executable, str(INGEST), "--workers", "2", "out.nxs", *inputs],
                          cwd=work, capture_output=True, text=True, timeout=600)
    return work, done


def expected_entries(work):
    """(source_file, scan_index, path) of each entry, in input order."""
    entries = []
    for path in sorted((work / "data").iterdir()):
        if path.name != "broken.xrdml":
            entries += [(f"data/{path.name}", i, path) for i in range(SCANS.get(path.name, 1))]
    return entries + [(f"file://{work}/extra/more.xy", 0, work / "extra" / "more.xy")]


def test_run_completes_with_failures_reported(run):
    work, done = run
    assert done.returncode == 1, done.stderr
    assert done.stderr.endswith("out.nxs: 15 patterns from 14 files, 4 failures\n"), done.stderr
    assert sorted(p.name for p in work.iterdir()) == ["data", "extra", "out.nxs"]


def test_failures_name_input_and_message(run):
    work, _ = run
    with h5py.File(work / "out.nxs") as f:
        failures = [text.decode() for text in f["failures"][()]]
    unmatched, unknown, broken, missing = failures  # inputs matching nothing are known first
    assert broken == "data/broken.xrdml: " + read_error(work / "data" / "broken.xrdml")
    assert missing.startswith("missing.raw: ") and "No such file" in missing
    assert unmatched == "absent/*.brml: no file matches"
    assert unknown == "nosuch://x.raw: Protocol not known: nosuch"


def test_every_entry_matches_read(run):
    work, _ = run
    expected = expected_entries(work)
    with h5py.File(work / "out.nxs") as f:
        assert f.attrs["NX_class"] == "NXroot" and f.attrs["default"] == "entry_0"
        assert sorted(k for k in f if k.startswith("entry_")) == sorted(
            f"entry_{n}" for n in range(len(expected)))
        for n, (source, index, path) in enumerate(expected):
            entry = f[f"entry_{n}"]
            assert entry.attrs["NX_class"] == "NXentry" and entry.attrs["default"] == "data"
            assert entry["source_file"][()].decode() == source
            assert entry["scan_index"][()] == index
            data = entry["data"]
            assert dict(data.attrs) == {"NX_class": "NXdata", "signal": "intensity",
                                        "axes": "two_theta", "two_theta_indices": 0}
            assert data["two_theta"].attrs["units"] == "degree"
            pattern = vorlen.read(str(path), index=index)
            assert data["two_theta"][()].tolist() == pattern.x, source
            assert data["intensity"][()].tolist() == pattern.y, source


def test_wavelengths_are_those_the_program_describes(run):
    if not ingest.describes_files(ingest.find_program()):
        pytest.skip("the installed vorlen program cannot describe files (--info)")
    work, _ = run
    with h5py.File(work / "out.nxs") as f:
        for n, (source, index, path) in enumerate(expected_entries(work)[:-1]):
            described = json.loads(subprocess.run(
                [ingest.find_program(), "--info", "--json", str(path)],
                capture_output=True, text=True).stdout)
            wavelengths = ingest.beam_wavelengths(described["scans"][index].get("metadata", {}))
            beam = f.get(f"entry_{n}/instrument/beam")
            if wavelengths is None:
                assert beam is None, source
                continue
            assert beam["incident_wavelength"][()].tolist() == wavelengths[0], source
            assert beam["incident_wavelength"].attrs["units"] == "angstrom"


def test_existing_output_is_kept_unless_overwrite(tmp_path):
    output = tmp_path / "out.nxs"
    output.write_bytes(b"precious")
    done = subprocess.run([sys.executable, str(INGEST), str(output), str(EXAMPLES / "silicon.xy")],
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 2 and "--overwrite" in done.stderr
    assert output.read_bytes() == b"precious"


@pytest.mark.parametrize("metadata, values, weights", [
    ({"wavelength_alpha1": 1.540598, "wavelength_alpha2": 1.544426, "alpha_ratio": 0.5},
     [1.540598, 1.544426], [1.0, 0.5]),
    ({"wavelength_alpha1": 1.540598, "wavelength_alpha2": 1.544426}, [1.540598, 1.544426], None),
    ({"wavelength_alpha1": 0.70932, "alpha_ratio": 0.5}, 0.70932, None),
    ({"wavelength": 1.0332, "anode": "synchrotron"}, 1.0332, None),
    ({"wavelength_alpha1": 1.5406, "wavelength": 1.5418}, 1.5406, None),
    ({"anode": "Cu"}, None, None),
    ({}, None, None),
])
def test_stated_wavelengths_go_to_the_beam(tmp_path, metadata, values, weights):
    nexus = ingest.NexusFile(str(tmp_path / "one.nxs"), overwrite=False)
    nexus.add_pattern("a.xrdml", 0, [10.0, 20.0], [1.0, 2.0],
                      {"y_unit": "counts", "metadata": metadata})
    nexus.commit()
    with h5py.File(tmp_path / "one.nxs") as f:
        entry = f["entry_0"]
        assert entry["data/intensity"].attrs["units"] == "counts"
        beam = entry.get("instrument/beam")
        if values is None:
            assert beam is None
        else:
            assert beam.attrs["NX_class"] == "NXbeam"
            assert beam["incident_wavelength"][()].tolist() == values
            assert beam["incident_wavelength"].attrs["units"] == "angstrom"
            assert ("incident_wavelength_weights" in beam) == (weights is not None)
            if weights is not None:
                assert beam["incident_wavelength_weights"][()].tolist() == weights
        if "anode" in metadata:
            assert entry["instrument"].attrs["NX_class"] == "NXinstrument"
            assert entry["instrument/source/target_material"][()].decode() == metadata["anode"]
    assert [p.name for p in tmp_path.iterdir()] == ["one.nxs"]


def test_output_is_absent_when_the_run_fails(tmp_path):
    nexus = ingest.NexusFile(str(tmp_path / "one.nxs"), overwrite=False)
    nexus.add_failure("a: b")
    nexus.discard()
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("name, count, scans, errors", [
    ("silicon.ras", None, [0, 1], []),
    ("silicon.ras", 2, [0, 1], []),
    ("silicon.xy", None, [0], []),
    ("silicon.gsa", None, [0], []),
    # a count that disagrees with the file is reported, not passed over
    ("silicon.xrdml", 2, [0], [(1, "Parse error: scan 1 is out of range (1 scans)")]),
    ("README.md", None, [], [(None, "Parse error: ASCII: no complete x/y pattern found")]),
])
def test_read_scans(name, count, scans, errors):
    found, failed = ingest.read_scans(str(EXAMPLES / name), count)
    assert [index for index, _, _ in found] == scans
    assert failed == errors
    for index, two_theta, intensity in found:
        pattern = vorlen.read(str(EXAMPLES / name), index=index)
        assert (two_theta.tolist(), intensity.tolist()) == (pattern.x, pattern.y)


def test_read_scans_reports_a_defect_after_the_first_scan(tmp_path):
    text = (EXAMPLES / "silicon.uxd").read_text(encoding="utf-8")
    broken = tmp_path / "broken.uxd"
    broken.write_text(text.replace("_STEPSIZE=0.050000", "_STEPSIZE=0.000000"), encoding="utf-8")
    found, failed = ingest.read_scans(str(broken), None)
    assert [index for index, _, _ in found] == [0]
    assert [index for index, _ in failed] == [1] and "UXD" in failed[0][1]


FAKE_PROGRAM = r'''#!/usr/bin/env python3
import json, sys
if sys.argv[1:] == ["--help"]:
    print("usage: vorlen --info [--json] FILE...")
    sys.exit(0)
assert sys.argv[1:3] == ["--info", "--json"], sys.argv
for name in sys.argv[3:]:
    if name.endswith(".ras"):
        scans = [{"index": 0, "y_unit": "counts",
                  "metadata": {"wavelength_alpha1": 1.540598, "wavelength_alpha2": 1.544426,
                               "alpha_ratio": 0.5, "anode": "Cu"}},
                 {"index": 1, "metadata": {"wavelength": 0.7093}}]
        print(json.dumps({"file": name, "format": "ras", "scans": scans}))
    else:
        print(json.dumps({"file": name, "error": "not described"}))
'''


class InlineClient:
    """Runs each task at once in this process: the part of a Dask client ingest uses."""

    class Done:
        def __init__(self, value):
            self.value = value

        def result(self):
            return self.value

        def release(self):
            pass

    def nthreads(self):
        return {"inline": 1}

    def submit(self, function, *args, pure):
        return self.Done(function(*args))


def test_described_files_get_their_wavelengths(tmp_path, monkeypatch):
    """The wiring from one `vorlen --info --json` run to the entries: a described file is read
    for exactly its scans, an undescribed one until its last."""
    program = tmp_path / "vorlen"
    program.write_text(FAKE_PROGRAM)
    program.chmod(0o755)
    monkeypatch.setattr(ingest, "find_program", lambda: str(program))
    monkeypatch.chdir(EXAMPLES)
    sources = ["silicon.ras", "silicon_v3.raw"]
    descriptions = ingest.describe(sources)
    assert sorted(descriptions) == sources and "error" in descriptions["silicon_v3.raw"]
    nexus = ingest.NexusFile(str(tmp_path / "out.nxs"), overwrite=False)
    ingest.ingest(InlineClient(), sources, descriptions, nexus)
    nexus.commit()
    with h5py.File(tmp_path / "out.nxs") as f:
        assert [(f[f"entry_{n}/source_file"][()].decode(), f[f"entry_{n}/scan_index"][()])
                for n in range(4)] == [(s, i) for s in sources for i in (0, 1)]
        doublet, single = f["entry_0/instrument"], f["entry_1/instrument/beam"]
        assert doublet["beam/incident_wavelength"][()].tolist() == [1.540598, 1.544426]
        assert doublet["beam/incident_wavelength_weights"][()].tolist() == [1.0, 0.5]
        assert doublet["source/target_material"][()].decode() == "Cu"
        assert f["entry_0/data/intensity"].attrs["units"] == "counts"
        assert single["incident_wavelength"][()] == 0.7093
        assert "instrument" not in f["entry_2"] and "instrument" not in f["entry_3"]
        assert len(f["failures"]) == 0
