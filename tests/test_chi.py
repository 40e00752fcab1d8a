"""CHI integrated profiles through the Python surface: real files, detection, encodings."""
import pytest
from hypothesis import given, settings, strategies as st

import vorlen

PROFILE = "profile.tif\n2-Theta Angle (Degrees)\nIntensity\n3\n11.0 7\n10.5 6\n10.0 5\n"


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


@pytest.mark.parametrize("filename, encoding", [
    ("p.chi", "utf-8"), ("p.dat", "utf-8"), ("", "utf-8"), ("p.chi", "utf-8-sig"), ("p.chi", "utf-16"),
])
def test_profile_reads_by_layout_or_extension_in_any_marked_encoding(filename, encoding):
    pattern = vorlen.read_bytes(PROFILE.encode(encoding), filename)
    assert pattern.x == [10.0, 10.5, 11.0]  # stored descending, returned ascending
    assert pattern.y == [5.0, 6.0, 7.0]


@settings(max_examples=300, deadline=None)
@given(st.binary(max_size=200))
def test_arbitrary_rows_never_crash(rows):
    try:
        vorlen.read_bytes(b"t\n2theta\nI\n5\n" + rows, "x.chi")
    except ValueError as error:
        assert str(error).startswith(("Parse error: ", "Unknown format"))
