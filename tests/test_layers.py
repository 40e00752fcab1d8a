"""The include graph of src/ follows the layer table of src/README.md."""

import re
from pathlib import Path

import pytest

SRC = Path(__file__).resolve().parent.parent / "src"
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def table_rows(text, heading):
    """The cells of each row of the Markdown table whose header row starts with `heading`."""
    lines = text.splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith(f"| {heading} |"))
    rows = []
    for line in lines[start + 2:]:
        if not line.startswith("|"):
            break
        rows.append([cell.strip() for cell in line.strip().strip("|").split("|")])
    return rows


def names(cell):
    return [name.strip().strip("`") for name in cell.split(",") if name.strip()]


def read_table():
    text = (SRC / "README.md").read_text(encoding="utf-8")
    places, allowed = {}, {}
    for layer, folders, _what, below in table_rows(text, "Layer"):
        for place in names(folders):
            places[place] = layer
        allowed[layer] = set(names(below)) | {layer}
    return places, allowed


def layer_of(path, places):
    """The layer of a path relative to src/: its own entry, or else its folder's."""
    matches = [place for place in places if path == place or path.startswith(place)]
    return places[max(matches, key=len)] if matches else None


def sources():
    return sorted(p for p in SRC.rglob("*") if p.suffix in (".hpp", ".cpp"))


def edges():
    for path in sources():
        source = path.relative_to(SRC).as_posix()
        for target in INCLUDE.findall(path.read_text(encoding="utf-8")):
            yield source, target


def test_every_source_file_belongs_to_a_layer():
    places, _ = read_table()
    assert [p.relative_to(SRC).as_posix() for p in sources()
            if layer_of(p.relative_to(SRC).as_posix(), places) is None] == []


def test_every_quoted_include_names_a_file_under_src():
    assert [(s, t) for s, t in edges() if not (SRC / t).is_file()] == []


def test_no_include_crosses_the_layers_upward_or_sideways():
    places, allowed = read_table()
    refused = [f"{source} -> {target}" for source, target in edges()
               if layer_of(target, places) not in allowed[layer_of(source, places)]]
    assert refused == []


@pytest.mark.parametrize("layer", ["types", "pattern", "text", "bruker", "xml", "parser"])
def test_helpers_and_readers_never_see_the_entry_points_or_the_dispatcher(layer):
    places, allowed = read_table()
    assert not allowed[layer] & {"read", "describe", "binding", "cli"}
    if layer != "parser":
        assert "parser" not in allowed[layer]
    assert layer_of("vorlen/vorlen.hpp", places) == "read"
    assert layer_of("parser/parse.hpp", places) == "parser"
