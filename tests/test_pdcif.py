"""Powder CIF files through the Python surface: real files, the block option, declared ranges."""
import pytest
from hypothesis import given, settings, strategies as st

import vorlen


def profile(name, count, items="", counts=None):
    """A block with `items` and a loop of angles 10, 10.5, ... and counts 1, 2, ... (or `counts`)."""
    rows = "".join(f"{10 + i * 0.5} {counts or i + 1}\n" for i in range(count))
    return f"data_{name}\n{items}\nloop_\n_pd_meas_2theta_scan\n_pd_meas_counts_total\n{rows}"


def test_real_gsas_powder_cif(corpus):
    pattern = vorlen.read(str(corpus / "pdcif" / "xylib__1517474.cif"))
    assert len(pattern.x) == len(pattern.y) == 3296
    assert pattern.x[0] == pytest.approx(1.518)
    assert pattern.x[-1] == pytest.approx(166.268)
    assert pattern.y[:3] == [5540.0, 4570.0, 4140.0]  # uncertainties dropped


def test_structure_only_cif_is_refused(corpus):
    with pytest.raises(ValueError, match="^Parse error: pdCIF: no matching block with 2theta and intensity data$"):
        vorlen.read(str(corpus / "pdcif" / "datalab__cod_9004112.cif"))


@pytest.mark.parametrize("block, encoding, counts", [
    (None, "utf-8", [7.0, 7.0]),
    ("", "utf-8", [7.0, 7.0]),
    ("Sample", "utf-8", [1.0, 2.0]),     # substring, case-sensitive: not "sample"
    ("\u00e9ch", "utf-8-sig", [3.0, 3.0]),
    ("\u00e9ch", "utf-16", [3.0, 3.0]),
])
def test_block_option_chooses_by_name(block, encoding, counts):
    text = (profile("sample", 2, counts=7) + profile("MySample2", 2)
            + profile("\u00e9chantillon", 2, counts=3))
    pattern = vorlen.read_bytes(text.encode(encoding), "p.cif", block=block)
    assert pattern.x == [10.0, 10.5]
    assert pattern.y == counts


# An increment printed with five decimals (0.02000 for a true 0.019999) leaves the declared
# maximum of 3001 points 0.003 (0.15 step) below the last computed angle; a point more or less
# moves the last angle a whole step.
ROUNDED_RANGE = ("_pd_proc_2theta_range_min 5.0\n_pd_proc_2theta_range_inc 0.02000\n"
                 "_pd_proc_2theta_range_max 64.997\n")


@pytest.mark.parametrize("count, readable", [(3001, True), (3000, False), (3002, False)])
def test_declared_range_tolerates_a_rounded_increment_only(count, readable):
    text = f"data_r\n{ROUNDED_RANGE}loop_\n_pd_proc_intensity_total\n" + "1\n" * count
    if readable:
        pattern = vorlen.read_bytes(text.encode(), "r.cif")
        assert len(pattern.x) == count
        assert pattern.x[-1] == pytest.approx(65.0)
    else:
        with pytest.raises(ValueError, match="^Parse error: pdCIF: angular range disagrees with point count$"):
            vorlen.read_bytes(text.encode(), "r.cif")


def test_index_other_than_zero_is_refused():
    with pytest.raises(ValueError, match="index must be 0"):
        vorlen.read_bytes(profile("a", 2).encode(), "a.cif", index=1)


@settings(max_examples=300, deadline=None)
@given(st.binary(max_size=300))
def test_arbitrary_bytes_never_crash(tail):
    data = b"data_x\n_pd_x 1\nloop_ _pd_meas_2theta_scan _pd_meas_counts_total\n" + tail
    try:
        vorlen.read_bytes(data, "x.cif")
    except ValueError as error:
        assert str(error).startswith(("Parse error: ", "Unknown format"))


@pytest.mark.parametrize("newline, gap", [("\n", "  "), ("\r\n", "\t"), ("\n", " \f ")])
def test_loop_of_counts_with_uncertainties_and_weights(newline, gap):
    counts = [(i * 37) % 1000 + 5 for i in range(2000)]
    rows = "".join(f"{gap}{c}({int(c ** 0.5)}){gap}{1 / c:.6f}{newline}" for c in counts)
    head = newline.join(["data_profile", "_pd_meas_2theta_range_min 5.0",
                         "_pd_meas_2theta_range_inc 0.01", "_pd_meas_2theta_range_max 24.99",
                         "loop_", "_pd_meas_counts_total", "_pd_proc_ls_weight", ""])
    pattern = vorlen.read_bytes((head + rows).encode(), "p.cif")
    assert pattern.y == [float(c) for c in counts]
    assert len(pattern.x) == 2000 and pattern.x[0] == 5.0
    assert pattern.x[-1] == pytest.approx(24.99)
