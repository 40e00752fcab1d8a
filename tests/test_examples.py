"""The files in examples/ are current and read back exactly what the generator wrote."""

import importlib.util
import pathlib

import pytest

import vorlen

ROOT = pathlib.Path(__file__).resolve().parents[1]
EXAMPLES = ROOT / "examples"


def load_generator():
    spec = importlib.util.spec_from_file_location("make_examples", ROOT / "scripts" / "make_examples.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


GENERATOR = load_generator()
MADE = GENERATOR.examples()


@pytest.mark.parametrize("example", MADE, ids=lambda e: e.name)
def test_committed_file_matches_generator(example):
    assert (EXAMPLES / example.name).read_bytes() == example.content


def test_readme_lists_every_example():
    assert (EXAMPLES / "README.md").read_text() == GENERATOR.readme(MADE)


SCANS = [(e, i) for e in MADE for i in range(len(e.scans))]


@pytest.mark.parametrize("example,index", SCANS, ids=lambda v: getattr(v, "name", str(v)))
def test_every_scan_reads_back_exactly(example, index):
    p = vorlen.read(str(EXAMPLES / example.name), index=index)
    assert p.x == example.scans[index].x
    assert p.y == example.scans[index].y


@pytest.mark.parametrize("example", MADE, ids=lambda e: e.name)
def test_content_alone_identifies_the_format(example):
    by_path = vorlen.read(str(EXAMPLES / example.name))
    by_content = vorlen.read_bytes(example.content, "")
    assert (by_content.x, by_content.y) == (by_path.x, by_path.y)


@pytest.mark.parametrize("example", MADE, ids=lambda e: e.name)
def test_index_past_the_last_scan_is_refused(example):
    with pytest.raises(ValueError, match="out of range|index must be 0"):
        vorlen.read(str(EXAMPLES / example.name), index=len(example.scans))


@pytest.mark.parametrize("block,readable", [(None, True), ("Si_profile", True), ("profile", True),
                                             ("Si_phase", False), ("PROFILE", False)])
def test_cif_block_filter(block, readable):
    path = str(EXAMPLES / "silicon.cif")
    if readable:
        assert len(vorlen.read(path, block=block).x) == 201
    else:
        with pytest.raises(ValueError, match="pdCIF: no matching block"):
            vorlen.read(path, block=block)
