"""vorlen --info: what each file holds, as a table or as JSON Lines whose every value agrees
with what vorlen.read returns."""

import json

import pytest

import vorlen

from cli_support import EXAMPLE_FILES, EXAMPLES, needs_describe, run

FORMATS = {".xy": "xy", ".chi": "chi", ".ras": "ras", ".uxd": "uxd", ".gsa": "gsas", ".cif": "pdcif",
           ".raw": "bruker_raw", ".xrdml": "xrdml", ".brml": "brml", ".rasx": "rasx"}
DETECTIONS = {"signature", "archive member", "xml root", "text marker", "layout", "extension", "default"}

# Metadata the example files state (each holds at least these entries).
METADATA = {
    "silicon.xrdml": {"wavelength_alpha1": 1.540598},
    "silicon.uxd": {"wavelength_alpha1": 1.5406, "anode": "Cu", "sample": "Silicon"},
    "silicon.ras": {"anode": "Cu", "sample": "Silicon"},
}


def info_json(*paths, **kwargs):
    result = run("--info", "--json", *paths, **kwargs)
    return result, [json.loads(line) for line in result.stdout.splitlines()]


def read_error(path, **options):
    try:
        vorlen.read(str(path), **options)
    except (ValueError, OSError) as error:
        return str(error)
    return None


@pytest.mark.parametrize("name,content", [("absent.xy", None), ("scan.bin", b"\x00\x01 no format")])
def test_a_file_that_cannot_be_described_is_an_error_line(tmp_path, name, content):
    path = tmp_path / name
    if content is not None:
        path.write_bytes(content)
    result, lines = info_json(path, tmp_path / "absent.xy")
    assert result.returncode == 1
    assert lines == [{"file": str(path), "error": read_error(path)},
                     {"file": str(tmp_path / "absent.xy"), "error": read_error(tmp_path / "absent.xy")}]


@pytest.mark.parametrize("name", [
    "quote\"back\\slash.xy",
    "tab\tnewline\nbell\x07.xy",
    "grad\u00b0 \u03b8 \U0001f600.xy",
    b"latin1-\xe9-\xff\xfe.xy",
    b"cut-\xe2\x82.xy",
    b"cut4-\xf0\x9f\x98-end.xy",
    b"surrogate-\xed\xa0\x80.xy",
    b"overlong-\xc0\xaf-\xe0\x80\xaf.xy",
    b"beyond-\xf4\x90\x80\x80-\xf5.xy",
])
def test_any_file_name_gives_valid_json(tmp_path, name):
    path = (bytes(tmp_path) + b"/" + (name if isinstance(name, bytes) else name.encode()))
    result = run("--info", "--json", path, text=False)
    assert result.returncode == 1
    line = result.stdout.decode("utf-8")  # strict: the output is UTF-8
    assert line.endswith("}\n") and line.count("\n") == 1
    record = json.loads(line)
    assert set(record) == {"file", "error"}
    expected = (name if isinstance(name, str) else name.decode("utf-8", "replace"))
    assert record["file"] == str(tmp_path) + "/" + expected


def test_json_uses_the_shape_and_spacing_of_the_documented_example(tmp_path):
    result = run("--info", "--json", tmp_path / "absent.xy")
    assert result.stdout == ('{"file": "' + str(tmp_path / "absent.xy") +
                             '", "error": "No such file or directory (os error 2)"}\n')


def test_text_mode_reports_undescribable_files_on_standard_error(tmp_path):
    result = run("--info", tmp_path / "absent.xy")
    assert (result.returncode, result.stdout) == (1, "")
    assert result.stderr == f"vorlen: {tmp_path / 'absent.xy'}: IO error: No such file or directory (os error 2)\n"


@needs_describe
@pytest.mark.parametrize("path", EXAMPLE_FILES, ids=lambda p: p.name)
def test_every_scan_agrees_with_read(path):
    result, [record] = info_json(path)
    assert result.returncode == 0
    assert record["file"] == str(path)
    assert record["format"] == FORMATS[path.suffix]
    assert record["detected_by"] in DETECTIONS
    assert record["scans"]
    for scan in record["scans"]:
        options = {"block": scan["block"]} if "block" in scan else {"index": scan["index"]}
        if "error" in scan:
            assert set(scan) == {"index", "error"} or set(scan) == {"block", "error"}
            assert scan["error"] == read_error(path, **options)
            continue
        p = vorlen.read(str(path), **options)
        assert (scan["points"], scan["first"], scan["last"]) == (len(p.x), p.x[0], p.x[-1])
        assert scan.get("y_unit") in (None, "counts", "cps")
    for key, value in METADATA.get(path.name, {}).items():
        assert record["scans"][0]["metadata"][key] == value
    if path.suffix != ".cif":  # the scan after the last is out of range
        assert read_error(path, index=len(record["scans"])) is not None


@needs_describe
@pytest.mark.parametrize("path,detected_by", [
    (EXAMPLES / "silicon_v3.raw", "signature"),
    (EXAMPLES / "silicon.xrdml", "xml root"),
    (EXAMPLES / "silicon.brml", "archive member"),
    (EXAMPLES / "silicon.rasx", "archive member"),
])
def test_how_a_file_was_recognised(path, detected_by):
    _, [record] = info_json(path)
    assert record["detected_by"] == detected_by


@needs_describe
def test_multi_scan_files_list_every_scan():
    _, records = info_json(EXAMPLES / "silicon.ras", EXAMPLES / "silicon.uxd")
    for record in records:
        assert [(s["index"], s["points"], s["first"], s["last"]) for s in record["scans"]] == [
            (0, 201, 20, 60), (1, 61, 27, 30)]


@needs_describe
def test_standard_input_is_described_under_its_name():
    data = (EXAMPLES / "silicon.ras").read_bytes()
    result, [record] = info_json("--name", "piped.ras", "-", input=data, text=False)
    assert result.returncode == 0 and record["file"] == "piped.ras" and record["format"] == "ras"


@needs_describe
def test_the_table_aligns_its_columns():
    result = run("--info", EXAMPLES / "silicon.ras")
    assert result.returncode == 0
    title, header, *scans = result.stdout.splitlines()
    assert title.startswith(f"{EXAMPLES / 'silicon.ras'}: ras, recognised by ")
    assert header.split() == ["scan", "points", "first", "2theta", "last", "2theta", "y", "unit"]
    column = header.index("points")
    assert [line[column:].split()[0] for line in scans[:2]] == ["201", "61"]
    assert [line[:column].strip() for line in scans[:2]] == ["0", "1"]


@needs_describe
def test_the_documented_json_of_a_multi_scan_file_is_what_the_program_writes():
    docs = (EXAMPLES.parent / "docs" / "cli.md").read_text().splitlines()
    command = "$ vorlen --info --json examples/silicon.ras"
    shown = docs[docs.index(command) + 1]
    result = run("--info", "--json", "examples/silicon.ras", cwd=EXAMPLES.parent)
    assert result.stdout == shown + "\n"
