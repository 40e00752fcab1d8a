import pytest
from hypothesis import given, strategies as st

import vorlen


def test_bruker_export_reads_every_point(corpus):
    p = vorlen.read(str(corpus / "uxd" / "xylib__BT86.UXD"))
    assert len(p.x) == 2374
    assert (p.x[0], p.x[-1]) == (3.0, 40.0)
    assert (p.y[0], p.y[1], p.y[-1]) == (187.0, 183.0, 269.0)


@pytest.mark.parametrize("name, index, message", [
    ("xylib__BT86.UXD", 1, "UXD: scan 1 is out of range"),
    ("maud__bruker_polefigure.UXD", 0, 'UXD: axis "PHI" is not 2theta in degrees'),
    ("maud__bruker_polefigure.UXD", 67, 'UXD: axis "PHI" is not 2theta in degrees'),
    ("maud__bruker_polefigure.UXD", 68, "UXD: scan 68 is out of range"),
])
def test_real_files_refused_with_the_defect(corpus, name, index, message):
    with pytest.raises(ValueError) as info:
        vorlen.read(str(corpus / "uxd" / name), index=index)
    assert str(info.value) == "Parse error: " + message


@pytest.mark.parametrize("data, filename", [
    (b"_DRIVE = 'COUPLED'\n_2THETACPS\n1 5\n2 6\n", "scan.txt"),  # found by its drive line
    (b"_2THETACPS\n1 5\n2 6\n", "SCAN.UXD"),  # found by its extension
])
def test_reached_by_content_or_extension(data, filename):
    assert vorlen.read_bytes(data, filename).y == [5.0, 6.0]


def test_descending_pairs_come_back_ascending():
    p = vorlen.read_bytes(b"_2THETACOUNTS\n3 30\n2 20\n1 10\n", "a.uxd")
    assert (p.x, p.y) == ([1.0, 2.0, 3.0], [10.0, 20.0, 30.0])


@given(start=st.floats(0, 100), step=st.floats(0.001, 1), descending=st.booleans(),
       counts=st.lists(st.integers(0, 10**6), min_size=1, max_size=40))
def test_counts_only_x_is_index_times_step_plus_start(start, step, descending, counts):
    step = -step if descending else step
    data = f"_START={start!r}\n_STEPSIZE={step!r}\n_COUNTS\n{' '.join(map(str, counts))}\n"
    p = vorlen.read_bytes(data.encode(), "a.uxd")
    points = [(i * step + start, float(c)) for i, c in enumerate(counts)]
    if descending:
        points.reverse()
    assert (p.x, p.y) == ([x for x, _ in points], [y for _, y in points])
