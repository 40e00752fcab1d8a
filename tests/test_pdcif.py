"""Powder CIF files through the Python surface: real files, block choice and refusals."""
import pytest
from hypothesis import given, settings, strategies as st

import vorlen

NO_BLOCK = "Parse error: pdCIF: no matching block with 2theta and intensity data"


def profile(name, count, *, items="", loop_tags=("_pd_meas_counts_total",), counts=None):
    """A data block with `items` and one loop: angles 10, 10.5, ... and counts 1, 2, ..."""
    def value(tag, i):
        if "2theta" in tag:
            return f"{10 + i * 0.5}"
        return str(counts if counts is not None else i + 1)
    rows = "\n".join(" ".join(value(tag, i) for tag in loop_tags) for i in range(count))
    return f"data_{name}\n{items}\nloop_\n" + "\n".join(loop_tags) + "\n" + rows + "\n"


SCAN = ("_pd_meas_2theta_scan", "_pd_meas_counts_total")


def test_real_gsas_powder_cif(corpus):
    pattern = vorlen.read(str(corpus / "pdcif" / "xylib__1517474.cif"))
    x, y = pattern.x, pattern.y
    assert len(x) == len(y) == 3296
    assert x[0] == pytest.approx(1.518)
    assert x[-1] == pytest.approx(166.268)
    assert y[:3] == [5540.0, 4570.0, 4140.0]  # uncertainties dropped


def test_structure_only_cif_is_refused(corpus):
    with pytest.raises(ValueError) as caught:
        vorlen.read(str(corpus / "pdcif" / "datalab__cod_9004112.cif"))
    assert str(caught.value) == NO_BLOCK


@pytest.mark.parametrize("block, first_y", [
    (None, [7.0, 7.0]),
    ("", [7.0, 7.0]),
    ("Sample", [1.0, 2.0]),
    ("ple2", [1.0, 2.0]),
])
def test_block_option_selects_by_substring(block, first_y):
    text = (profile("cell", 0, items="_cell_length_a 4.6", loop_tags=("_atom_site_label",))
            + profile("sample", 2, loop_tags=SCAN, counts=7)
            + profile("MySample2", 2, loop_tags=SCAN))
    pattern = vorlen.read_bytes(text.encode(), "p.cif", block=block)
    assert pattern.y == first_y
    assert pattern.x == [10.0, 10.5]


def test_block_option_without_match():
    text = profile("sample", 2, loop_tags=SCAN)
    with pytest.raises(ValueError, match="^" + NO_BLOCK + "$"):
        vorlen.read_bytes(text.encode(), "p.cif", block="Sample")


# The increment printed with five decimals (0.02000 for a true 0.019999) leaves the declared
# maximum of 3001 points 0.003 (0.15 step) below the last computed angle; one point fewer
# moves the last angle a whole step.
ROUNDED_RANGE = ("_pd_proc_2theta_range_min 5.0\n_pd_proc_2theta_range_inc 0.02000\n"
                 "_pd_proc_2theta_range_max 64.997\n")


def test_declared_range_with_rounded_increment_is_read():
    pattern = vorlen.read_bytes(profile("r", 3001, items=ROUNDED_RANGE).encode(), "r.cif")
    assert len(pattern.x) == 3001
    assert pattern.x[0] == 5.0
    assert pattern.x[-1] == pytest.approx(65.0)


@pytest.mark.parametrize("count", [3000, 3002])
def test_declared_range_off_by_one_point_is_refused(count):
    with pytest.raises(ValueError, match="^Parse error: pdCIF: angular range disagrees with point count$"):
        vorlen.read_bytes(profile("r", count, items=ROUNDED_RANGE).encode(), "r.cif")


def test_index_other_than_zero_is_refused():
    with pytest.raises(ValueError, match="index must be 0"):
        vorlen.read_bytes(profile("a", 2, loop_tags=SCAN).encode(), "a.cif", index=1)


@settings(max_examples=300, deadline=None)
@given(st.binary(max_size=300))
def test_arbitrary_bytes_never_crash(tail):
    data = b"data_x\n_pd_x 1\nloop_ _pd_meas_2theta_scan _pd_meas_counts_total\n" + tail
    try:
        vorlen.read_bytes(data, "x.cif")
    except ValueError as error:
        assert str(error).startswith(("Parse error: ", "Unknown format"))
