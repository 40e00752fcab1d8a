"""Running the vorlen program from the tests: where it is, how to call it, what describe gives."""

import functools
import os
import pathlib
import subprocess
import sys

import pytest

import vorlen

EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"
# The pattern files of examples/, without its README and example programs.
EXAMPLE_FILES = sorted(p for p in EXAMPLES.iterdir() if p.suffix not in (".md", ".py", ".cpp"))


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


def run(*args, cwd=None, stdout=subprocess.PIPE, input=None, text=True):
    """Runs the program; arguments may be str, bytes or paths (bytes reach it unchanged)."""
    argv = [CLI, *(a if isinstance(a, bytes) else str(a) for a in args)]
    return subprocess.run(argv, stdout=stdout, stderr=subprocess.PIPE, text=text, cwd=cwd,
                          input=input, timeout=120)


def points(path, **options):
    p = vorlen.read(str(path), **options)
    return list(zip(p.x, p.y))


def rows(text, separator=None):
    return [tuple(float(v) for v in line.split(separator)) for line in text.splitlines()]


@functools.lru_cache(maxsize=None)
def describe_works():
    """Whether the program can describe files yet (the describing readers may not be built in)."""
    result = run("--info", EXAMPLES / "silicon.xy")
    return "Unknown format" not in result.stdout + result.stderr


needs_describe = pytest.mark.skipif(not describe_works(),
                                    reason="describe not yet implemented: --info reports Unknown format")
