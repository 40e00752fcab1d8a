"""The vorlen command end to end: output text, --csv, --check, exit codes and messages."""

import os
import pathlib
import re
import subprocess
import sys

import pytest

import vorlen

EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"


def find_cli():
    """VORLEN_CLI (a build directory), else beside the interpreter (installed), else beside the
    module (the build directory it was imported from)."""
    candidates = [os.environ.get("VORLEN_CLI"),
                  pathlib.Path(sys.executable).parent / "vorlen",
                  pathlib.Path(vorlen.__file__).parents[1] / "src" / "cli" / "vorlen"]
    for candidate in candidates:
        if candidate and pathlib.Path(candidate).is_file():
            return str(candidate)
    pytest.skip("vorlen command not found (set VORLEN_CLI)", allow_module_level=True)


CLI = find_cli()


def run(*args, cwd=None, stdout=subprocess.PIPE):
    return subprocess.run([CLI, *map(str, args)], stdout=stdout, stderr=subprocess.PIPE,
                          text=True, cwd=cwd, timeout=60)


def rows(text):
    return [tuple(float(v) for v in line.split()) for line in text.splitlines()]


def expected_failure(path, **options):
    """The module's message for an unreadable file, or None when it reads."""
    try:
        vorlen.read(str(path), **options)
    except ValueError as error:
        return str(error)
    return None


def points(path, **options):
    p = vorlen.read(str(path), **options)
    return list(zip(p.x, p.y))


@pytest.fixture
def xy_file(tmp_path):
    path = tmp_path / "values.xy"
    path.write_text("0.1 1e-05\n0.30000000000000004 2.5\n100 1234567\n1e22 -0\n")
    return path


def test_points_print_in_shortest_round_trip_form(xy_file):
    result = run(xy_file)
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout == "0.1 1e-05\n0.30000000000000004 2.5\n100 1234567\n1e+22 -0\n"


def test_csv_has_a_header_and_comma_rows(xy_file):
    result = run("--csv", xy_file)
    assert result.returncode == 0
    header, *body = result.stdout.splitlines()
    assert header == "two_theta,intensity"
    assert body[0] == "0.1,1e-05" and len(body) == 4


@pytest.mark.parametrize("name", sorted(p.name for p in EXAMPLES.iterdir()
                                         if p.suffix not in (".md", ".py", ".cpp")))
def test_every_example_agrees_with_the_module(name):
    path = EXAMPLES / name
    result = run(path)
    assert (result.returncode, result.stderr) == (0, "")
    assert rows(result.stdout) == points(path)


@pytest.mark.parametrize("args,options", [
    (["--index", "1"], {"index": 1}),
    (["--index=1"], {"index": 1}),
    (["--index", "+0"], {"index": 0}),
    (["--index", "7"], {"index": 7}),
])
@pytest.mark.parametrize("name", ["silicon.ras", "silicon.uxd", "silicon_v3.raw"])
def test_index_selects_a_scan(name, args, options):
    path = EXAMPLES / name
    result = run(*args, path)
    failure = expected_failure(path, **options)
    if failure is None:
        assert result.returncode == 0
        assert rows(result.stdout) == points(path, **options)
    else:
        assert (result.returncode, result.stdout, result.stderr) == (1, "", failure + "\n")


@pytest.mark.parametrize("block", ["Si_profile", "Si_phase"])
def test_block_reaches_the_cif_reader(block):
    path = EXAMPLES / "silicon.cif"
    result = run("--block", block, "--csv", path)
    failure = expected_failure(path, block=block)
    assert result.returncode == (0 if failure is None else 1)
    assert result.stderr == ("" if failure is None else failure + "\n")


def test_missing_file_reports_the_io_error(tmp_path):
    result = run(tmp_path / "absent.xy")
    assert (result.returncode, result.stdout) == (1, "")
    assert result.stderr == "IO error: No such file or directory (os error 2)\n"


def test_check_reports_each_file_and_fails_when_one_is_bad(tmp_path, xy_file):
    empty = tmp_path / "notes.xy"
    empty.write_text("# nothing measured\n")
    absent = tmp_path / "absent.xy"
    result = run("--check", xy_file, empty, absent, xy_file)
    assert (result.returncode, result.stderr) == (1, "")
    assert result.stdout.splitlines() == [
        f"{xy_file}: ok 4 points, 2theta 0.1 to 1e+22",
        f"{empty}: error Parse error: ASCII: no complete x/y pattern found",
        f"{absent}: error IO error: No such file or directory (os error 2)",
        f"{xy_file}: ok 4 points, 2theta 0.1 to 1e+22",
    ]


def test_check_of_readable_files_succeeds(tmp_path, xy_file):
    single = tmp_path / "one.xy"
    single.write_text("12.5 3\n")
    result = run("--check", xy_file, single)
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout.splitlines()[1] == f"{single}: ok 1 point, 2theta 12.5 to 12.5"


def test_check_of_the_examples_matches_the_module():
    paths = sorted(p for p in EXAMPLES.iterdir() if p.suffix not in (".md", ".py", ".cpp"))
    result = run("--check", *paths)
    assert (result.returncode, result.stderr) == (0, "")
    lines = result.stdout.splitlines()
    assert len(lines) == len(paths)
    for path, line in zip(paths, lines):
        x = vorlen.read(str(path)).x
        match = re.fullmatch(r"(.*): ok (\d+) points, 2theta (\S+) to (\S+)", line)
        assert match.group(1, 2) == (str(path), str(len(x)))
        assert (float(match.group(3)), float(match.group(4))) == (x[0], x[-1])


@pytest.mark.parametrize("args,message", [
    ([], "missing FILE"),
    (["a.xy", "b.xy"], "give exactly one FILE (or use --check)"),
    (["--check"], "--check needs at least one FILE"),
    (["--check", "--csv", "a.xy"], "--csv cannot be combined with --check"),
    (["--index"], "--index needs a value"),
    (["--index", "-1", "a.xy"], '--index needs an unsigned integer, got "-1"'),
    (["--index", "1.0", "a.xy"], '--index needs an unsigned integer, got "1.0"'),
    (["--index=18446744073709551616", "a.xy"],
     '--index needs an unsigned integer, got "18446744073709551616"'),
    (["--block"], "--block needs a value"),
    (["--indexes", "1", "a.xy"], "unknown option --indexes"),
    (["-x", "a.xy"], "unknown option -x"),
])
def test_bad_usage_exits_2_with_the_usage_text(args, message):
    result = run(*args)
    assert (result.returncode, result.stdout) == (2, "")
    first, *usage = result.stderr.splitlines()
    assert first == f"vorlen: {message}"
    assert usage[0].startswith("usage: vorlen ")


def test_largest_index_is_accepted_as_a_number(xy_file):
    result = run("--index", "18446744073709551615", xy_file)
    assert result.returncode == 1
    assert result.stderr == "Parse error: this format has one pattern; index must be 0\n"


@pytest.mark.parametrize("flag", ["--help", "-h"])
def test_help(flag):
    result = run("a.xy", flag, "--bogus-after-help")
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout.startswith("usage: vorlen ")
    assert "--check" in result.stdout and "--csv" in result.stdout


def test_version():
    result = run("--version")
    assert (result.returncode, result.stdout, result.stderr) == (0, "1.0.0\n", "")
    assert result.stdout.strip() == vorlen.__version__


def test_double_dash_ends_options(tmp_path):
    (tmp_path / "--csv").write_text("1 2\n")
    result = run("--", "--csv", cwd=tmp_path)
    assert (result.returncode, result.stdout) == (0, "1 2\n")


@pytest.mark.skipif(not os.path.exists("/dev/full"), reason="needs /dev/full")
def test_output_failure_is_not_reported_as_success(xy_file):
    with open("/dev/full", "w") as full:
        result = run(xy_file, stdout=full)
    assert result.returncode == 1
    assert result.stderr.startswith("vorlen: cannot write to standard output: ")
