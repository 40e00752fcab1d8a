"""The installed package's types as users' type checkers see them: mypy and pyright find the
stub through the package's py.typed, mypy's stubtest finds it true to the built module, and
nothing else of the distribution lands in site-packages."""

import importlib.metadata
import json
import pathlib
import re
import shutil
import subprocess
import sys

import pytest

import vorlen

PACKAGE_DIR = pathlib.Path(vorlen.__file__).parent
if PACKAGE_DIR.parent.name not in ("site-packages", "dist-packages"):
    pytest.skip("vorlen is not installed (running against a build directory)",
                allow_module_level=True)

# A user's script: what each marked line must give in both checkers, or in the one named (mypy
# 1.0 still treats bytearray as bytes, a promotion it drops by default only in later versions).
USER_SCRIPT = '''\
import vorlen
p = vorlen.read("x.xy", index=1, block=None)
reveal_type(p.x)  # reveal: list[float]
reveal_type(vorlen.read_bytes(b"", "x.xy").y)  # reveal: list[float]
reveal_type(vorlen.Pattern([1, 2.5], (3.0, 4)))  # reveal: Pattern
reveal_type(vorlen.__version__)  # reveal: str
vorlen.read(b"x.xy")  # error: a path given as bytes
vorlen.read("x.xy", 1)  # error: index is keyword-only
vorlen.read("x.xy", index="1")  # error: index is not an integer
vorlen.read("x.xy", block=3)  # error: block is not a str
vorlen.read_bytes(bytearray(b"1 2"), "x.xy")  # error (pyright): data must be bytes
vorlen.read_bytes(b"1 2")  # error: the file name is required
vorlen.Pattern("ab", [1.0, 2.0])  # error: a str is no sequence of numbers
p.x = [1.0]  # error: x is read-only
class Mine(vorlen.Pattern): ...  # error: Pattern is final
vorlen.write(p)  # error: no such function
'''
LINES = USER_SCRIPT.splitlines()
REVEALS = {n: line.split("# reveal: ")[1]
           for n, line in enumerate(LINES, 1) if "# reveal: " in line}
ERRORS = {n: match.group(1) for n, match in enumerate(
    (re.search(r"# error(?: \((\w+)\))?: ", line) for line in LINES), 1) if match}


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True, timeout=300)


def mypy_findings(work):
    """{line: [(severity, message)]} from mypy."""
    done = run([sys.executable, "-m", "mypy", "--python-executable", sys.executable,
                "--cache-dir", str(work / "cache"), "--strict", "user.py"], work)
    findings = {}
    for line in done.stdout.splitlines():
        parts = line.split(":", 3)
        if len(parts) == 4 and parts[0] == "user.py":
            findings.setdefault(int(parts[1]), []).append((parts[2].strip(), parts[3].strip()))
    assert findings or done.returncode == 0, done.stdout + done.stderr
    return findings


def find_pyright():
    for candidate in (pathlib.Path(sys.executable).parent / "pyright", shutil.which("pyright")):
        if candidate and pathlib.Path(candidate).is_file():
            return str(candidate)
    pytest.fail("pyright not found (scripts/setup installs it into .venv)")


def pyright_findings(work):
    """{line: [(severity, message)]} from pyright."""
    (work / "pyrightconfig.json").write_text(json.dumps({"typeCheckingMode": "strict"}))
    done = run([find_pyright(), "--pythonpath", sys.executable, "--outputjson", "user.py"], work)
    report = json.loads(done.stdout)
    findings = {}
    for item in report["generalDiagnostics"]:
        line = item["range"]["start"]["line"] + 1
        findings.setdefault(line, []).append((item["severity"], item["message"]))
    return findings


@pytest.fixture(scope="module", params=["mypy", "pyright"])
def findings(request, tmp_path_factory):
    work = tmp_path_factory.mktemp(request.param)
    (work / "user.py").write_text(USER_SCRIPT)
    check = mypy_findings if request.param == "mypy" else pyright_findings
    return request.param, check(work)


def revealed(checker, messages):
    """The revealed type in the short form both checkers agree on."""
    for severity, message in messages:
        text = message.replace("builtins.", "").replace("vorlen.", "")
        if checker == "mypy" and severity == "note" and text.startswith("Revealed type is"):
            return text.split('"')[1]
        if checker == "pyright" and severity == "information" and text.startswith("Type of"):
            return text.rsplit('"', 2)[1]
    return None


@pytest.mark.parametrize("line", sorted(REVEALS))
def test_revealed_types(findings, line):
    checker, found = findings
    assert revealed(checker, found.get(line, [])) == REVEALS[line], (LINES[line - 1], found)


@pytest.mark.parametrize("line", sorted(ERRORS))
def test_wrong_call_is_an_error(findings, line):
    checker, found = findings
    if ERRORS[line] not in (None, checker):
        pytest.skip(f"{checker} accepts this call")
    assert "error" in {severity for severity, _ in found.get(line, [])}, (LINES[line - 1], found)


def test_nothing_else_is_reported(findings):
    checker, found = findings
    stray = {line: messages for line, messages in found.items()
             if line not in REVEALS and line not in ERRORS}
    assert stray == {}


def test_stubtest_finds_the_stub_true_to_the_module(tmp_path):
    done = run([sys.executable, "-m", "mypy.stubtest", "--mypy-config-file", "/dev/null",
                "vorlen"], tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr


def test_distribution_adds_nothing_stray_to_site_packages():
    site = PACKAGE_DIR.parent
    dist = importlib.metadata.distribution("vorlen")
    inside = [pathlib.Path(dist.locate_file(f)).resolve() for f in dist.files]
    inside = [p.relative_to(site) for p in inside if site in p.parents]
    tops = {p.parts[0] for p in inside}
    assert tops == {"vorlen", f"vorlen-{vorlen.__version__}.dist-info"}
    package = sorted(p.name for p in inside if p.parts[0] == "vorlen")
    assert package == sorted(["__init__.pyi", "py.typed", pathlib.Path(vorlen.__file__).name])
