"""The vorlen command end to end: printing one pattern, --csv, --check, usage, exit codes and
messages."""

import os
import re

import pytest

import vorlen

from cli_support import EXAMPLE_FILES, EXAMPLES, points, rows, run


def expected_failure(path, **options):
    """The module's message for an unreadable file, or None when it reads."""
    try:
        vorlen.read(str(path), **options)
    except ValueError as error:
        return str(error)
    return None


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


@pytest.mark.parametrize("name", [p.name for p in EXAMPLE_FILES])
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
        assert (result.returncode, result.stdout, result.stderr) == (1, "", f"vorlen: {path}: {failure}\n")


@pytest.mark.parametrize("block", ["Si_profile", "Si_phase"])
def test_block_reaches_the_cif_reader(block):
    path = EXAMPLES / "silicon.cif"
    result = run("--block", block, "--csv", path)
    failure = expected_failure(path, block=block)
    assert result.returncode == (0 if failure is None else 1)
    assert result.stderr == ("" if failure is None else f"vorlen: {path}: {failure}\n")


def test_missing_file_reports_the_io_error(tmp_path):
    result = run(tmp_path / "absent.xy")
    assert (result.returncode, result.stdout) == (1, "")
    assert result.stderr == f"vorlen: {tmp_path / 'absent.xy'}: IO error: No such file or directory (os error 2)\n"


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
    paths = EXAMPLE_FILES
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
    (["--info", "--check", "a.xy"], "--check cannot be combined with --info"),
    (["--convert", "out", "--plot", "p.svg", "a.xy"], "--plot cannot be combined with --convert"),
    (["--convert"], "--convert needs a value"),
    (["--convert=", "a.xy"], "--convert needs a value"),
    (["--plot", "p.svg"], "--plot needs at least one FILE"),
    (["--info"], "--info needs at least one FILE"),
    (["--json", "a.xy"], "--json needs --info"),
    (["--csv", "--info", "a.xy"], "--csv cannot be combined with --info"),
    (["--to", "csv", "a.xy"], "--to needs --convert"),
    (["--convert", "out", "--to", "json", "a.xy"], '--to needs xy or csv, got "json"'),
    (["--log", "a.xy"], "--log needs --plot"),
    (["--force", "--check", "a.xy"], "--force needs --convert or --plot"),
    (["--all-scans", "a.xy"], "--all-scans needs --convert or --plot"),
    (["-j", "2", "--check", "a.xy"], "-j needs --convert"),
    (["--convert", "out", "-j", "0", "a.xy"], '-j needs a whole number from 1 to 1024, got "0"'),
    (["--convert", "out", "-jx", "a.xy"], '-j needs a whole number from 1 to 1024, got "x"'),
    (["--convert", "out", "-j", "1025", "a.xy"], '-j needs a whole number from 1 to 1024, got "1025"'),
    (["--convert", "out", "-j"], "-j needs a value"),
    (["--convert", "out", "--all-scans", "--index", "1", "a.xy"],
     "--index cannot be combined with --all-scans"),
    (["--plot", "p.svg", "--all-scans", "--block", "Si", "a.xy"],
     "--block cannot be combined with --all-scans"),
    (["--info", "--index", "1", "a.xy"], "--index cannot be combined with --info (it describes every scan)"),
    (["--name", "a.xy", "b.xy"], "--name is the file-name hint for -, which is not given"),
    (["--name"], "--name needs a value"),
    (["--check", "-", "-"], "- (standard input) can be given only once"),
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
    assert result.stderr == f"vorlen: {xy_file}: Parse error: this format has one pattern; index must be 0\n"


@pytest.mark.parametrize("flag", ["--help", "-h"])
def test_help_documents_every_option_and_shows_each_use(flag):
    result = run("a.xy", flag, "--bogus-after-help")
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout.startswith("usage: vorlen ")
    for option in ["--index", "--block", "--csv", "--check", "--info", "--json", "--convert", "--to",
                   "--all-scans", "-j", "--force", "--plot", "--log", "--name", "--help", "--version"]:
        assert re.search(rf"^  {option}\b", result.stdout, re.M), option
    examples = [line.split()[1] for line in result.stdout.splitlines() if line.startswith("    vorlen ")]
    assert {"--csv", "--check", "--info", "--convert", "--plot"} <= set(examples)


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


@pytest.mark.parametrize("args,hint", [
    (["-"], None),
    (["--name", "scan.xy", "-"], "scan.xy"),
    (["--name=scan.ras", "--index", "1", "-"], "scan.ras"),
])
@pytest.mark.parametrize("example", ["silicon.xy", "silicon.ras", "silicon_v4.raw"])
def test_standard_input_reads_like_the_file_named_by_the_hint(example, args, hint):
    data = (EXAMPLES / example).read_bytes()
    result = run(*args, input=data, text=False)
    options = {"index": 1} if "--index" in args else {}
    try:
        expected = vorlen.read_bytes(data, hint or "", **options)
    except ValueError as error:
        label = hint or "-"
        assert (result.returncode, result.stdout) == (1, b"")
        assert result.stderr.decode() == f"vorlen: {label}: {error}\n"
        return
    assert (result.returncode, result.stderr) == (0, b"")
    assert rows(result.stdout.decode()) == list(zip(expected.x, expected.y))


def test_check_reads_standard_input_under_its_name(xy_file):
    result = run("--check", "--name", "piped.xy", xy_file, "-", input=xy_file.read_text())
    assert result.returncode == 0
    assert result.stdout.splitlines()[1] == "piped.xy: ok 4 points, 2theta 0.1 to 1e+22"
