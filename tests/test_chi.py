"""CHI integrated profiles through the Python surface."""
import pytest
from hypothesis import given, settings, strategies as st

import vorlen


def chi(label="2-Theta Angle (Degrees)", count="3", rows="10.0 5\n10.5 6\n11.0 7\n"):
    return f"profile.tif\n{label}\nIntensity\n{count}\n{rows}".encode()


def test_real_fit2d_style_chi(corpus):
    pattern = vorlen.read(str(corpus / "chi" / "dioptas__Fe7C3_300_020.chi"))
    assert len(pattern.x) == len(pattern.y) == 1449
    assert pattern.x[0] == pytest.approx(0.010420958)
    assert pattern.x[-1] == pytest.approx(30.189514)
    assert pattern.y[0] == pytest.approx(35.596943)


def test_pyfai_header_is_refused(corpus):
    # Four comment lines stand where the CHI header belongs; the fourth is no point count.
    with pytest.raises(ValueError, match=r"^Parse error: CHI: invalid point count$"):
        vorlen.read(str(corpus / "chi" / "pdfstream__Ni_chi_file.chi"))


@pytest.mark.parametrize("filename", ["p.chi", "p.dat", ""])
def test_layout_is_recognised_with_or_without_extension(filename):
    pattern = vorlen.read_bytes(chi(), filename)
    assert pattern.x == [10.0, 10.5, 11.0]
    assert pattern.y == [5.0, 6.0, 7.0]


@pytest.mark.parametrize("label, shown", [
    ("Q (nm^-1)", '"q (nm^-1)"'),
    ("d (Angstrom)", '"d (angstrom)"'),
    ("2Theta radians", '"2theta radians"'),
])
def test_other_axes_are_refused(label, shown):
    with pytest.raises(ValueError) as caught:
        vorlen.read_bytes(chi(label=label), "p.chi")
    assert str(caught.value) == f"Parse error: CHI: x axis {shown} is not 2theta in degrees"


def test_descending_profile_is_returned_ascending():
    pattern = vorlen.read_bytes(chi(rows="11.0 7\n10.5 6\n10.0 5\n"), "p.chi")
    assert pattern.x == [10.0, 10.5, 11.0]
    assert pattern.y == [5.0, 6.0, 7.0]


def test_count_mismatch_is_refused():
    with pytest.raises(ValueError, match="^Parse error: CHI: header declares 4 points but 3 were read$"):
        vorlen.read_bytes(chi(count="4"), "p.chi")


@settings(max_examples=300, deadline=None)
@given(st.binary(max_size=200))
def test_arbitrary_rows_never_crash(rows):
    try:
        vorlen.read_bytes(b"t\n2theta\nI\n5\n" + rows, "x.chi")
    except ValueError as error:
        assert str(error).startswith(("Parse error: ", "Unknown format"))
