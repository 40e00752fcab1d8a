"""XRDML: scan selection, axis and unit checks, positions, attenuation, every refusal."""

import re

import pytest

import vorlen
from builders import xrdml_document as document
from builders import xrdml_one_scan as one_scan
from builders import xrdml_positions as pos
from builders import xrdml_scan as scan
from builders import xrdml_stepped as stepped



def read(text, index=0, name="scan.xrdml"):
    return vorlen.read_bytes(text.encode() if isinstance(text, str) else text, name, index=index)


def refused(text, index=0):
    with pytest.raises(ValueError) as info:
        read(text, index)
    return str(info.value).removeprefix("Parse error: ")


FACTORS = "<beamAttenuationFactors>{}</beamAttenuationFactors>"


@pytest.mark.parametrize(
    "data, x, y",
    [
        (stepped(), [10, 12.5, 15, 17.5, 20], [1, 2, 3, 4, 5]),
        (stepped(30, 10, "1 2 3"), [10, 20, 30], [3, 2, 1]),  # stored descending
        (stepped(values="\n\t\t1 2\r\n\t\t3\n\t4 5\n\t"), [10, 12.5, 15, 17.5, 20], [1, 2, 3, 4, 5]),
        (pos(start=1, end=2) + "<counts>5 6</counts><intensities>1 2</intensities>", [1, 2], [1, 2]),
        (pos("Omega", start=1, end=2) + pos("2theta", start=3, end=4) + stepped(5, 6, "1 1"),
         [5, 6], [1, 1]),
        (pos(listed="\n 1.5 2.5\n 4 ", start=0, end=9) + "<counts>7 8 9</counts>", [1.5, 2.5, 4],
         [7, 8, 9]),
        (pos(start=12, end=14) + "<counts>9</counts>", [12], [9]),
        (pos(common=30) + "<counts>9</counts>", [30], [9]),
        (pos(start=5, end=6, common=30) + "<counts>9</counts>", [5], [9]),
        (pos(start=0, end=2) + FACTORS.format("2 1 0.5") + "<counts>3 3 3</counts>", [0, 1, 2],
         [6, 3, 1.5]),
        (pos(start=0, end=2) + FACTORS.format("2 1 0.5") + "<intensities>3 3 3</intensities>",
         [0, 1, 2], [3, 3, 3]),
    ],
)
def test_points(data, x, y):
    p = read(one_scan(data))
    assert (p.x, p.y) == (x, y)


def test_step_arithmetic_is_multiply_divide_add():
    s, e, n = 26.025, 79.995, 1800
    p = read(one_scan(stepped(s, e, " ".join(["1"] * n))))
    assert p.x == [i * (e - s) / (n - 1) + s for i in range(n)]


@pytest.mark.parametrize("unit", [None, "deg", "Deg", "DEGREES", "degree", "°"])
@pytest.mark.parametrize("axis", [None, "2Theta", "2Theta-Omega", "Gonio", "Omega-2Theta",
                                  "Two_Theta", "omega theta", "2THETA-THETA", "Omega-TwoTheta"])
def test_accepted_scan_axes_and_units(axis, unit):
    assert read(one_scan(pos(unit=unit, start=1, end=2) + "<counts>1 1</counts>", axis)).x == [1, 2]


def test_scans_are_counted_over_all_measurements():
    scans = [scan(stepped(1, 2, f"{k} {k}")) for k in range(4)]
    doc = document(scans[:2], scans[2:])
    assert [read(doc, k).y[0] for k in range(4)] == [0, 1, 2, 3]
    assert refused(doc, 4) == "scan 4 is out of range (4 scans)"
    assert refused(document(), 0) == "scan 0 is out of range (0 scans)"
    # Scans outside an xrdMeasurement, or nested deeper, do not count.
    stray = doc.replace("<comment>", scan(stepped(1, 2, "9 9")) + "<comment>").replace(
        "<header/>", "<header>" + scan(stepped(1, 2, "9 9")) + "</header>"
    )
    assert [read(stray, k).y[0] for k in range(4)] == [0, 1, 2, 3]


def test_namespace_prefixes_are_dropped():
    doc = re.sub(r"<(/?)(?=[a-zA-Z])", r"<\1x:", one_scan(stepped(1, 2, "3 4")))
    assert read(doc.replace("xmlns=", "xmlns:x=")).y == [3, 4]


ATTENUATION = "XRDML attenuation factors must be positive and match intensity length"
FIXED = "XRDML has a fixed or missing 2Theta axis, not a powder profile"


@pytest.mark.parametrize(
    "doc, message",
    [
        ("<measurements/>", "not an XRDML measurement"),
        (one_scan(stepped(), "Omega"), 'XRDML scan axis "Omega" is not 2theta'),
        (one_scan(stepped(), "Phi"), 'XRDML scan axis "Phi" is not 2theta'),
        (one_scan(stepped(), ""), 'XRDML scan axis "" is not 2theta'),
        # a tab written as a reference survives attribute normalisation
        (one_scan(stepped(), "2Theta&#9;Omega"), 'XRDML scan axis "2Theta\\tOmega" is not 2theta'),
        (one_scan(None, "Phi"), 'XRDML scan axis "Phi" is not 2theta'),
        (one_scan(None), "XRDML scan has no dataPoints"),
        (one_scan(FACTORS.format("0")), "XRDML missing intensities/counts"),
        (one_scan(pos(start=1, end=2) + "<intensities> \n </intensities>"),
         "XRDML has no intensity points"),
        (one_scan(stepped(values="1 NaN")), "non-finite numeric value"),
        (one_scan(stepped(values="1 2,5")), 'invalid numeric value "2,5"'),
        (one_scan(stepped(values="1 1.5D3")), 'invalid numeric value "1.5D3"'),
        (one_scan("<counts>1 2</counts>"), "XRDML missing 2Theta positions"),
        (one_scan(pos("2theta", start=1, end=2) + "<counts>1 2</counts>"),
         "XRDML missing 2Theta positions"),
        (one_scan("<sub>" + pos(start=1, end=2) + "</sub><counts>1 2</counts>"),
         "XRDML missing 2Theta positions"),
        (one_scan(pos(unit="rad", listed="1") + "<counts>1 2</counts>"),
         'XRDML 2Theta unit "rad" is not degrees'),
        (one_scan(pos(unit=" deg", start=1, end=2) + "<counts>1 2</counts>"),
         'XRDML 2Theta unit " deg" is not degrees'),
        (one_scan(pos(listed="1") + FACTORS.format("0") + "<counts>1 2</counts>"),
         "XRDML position/intensity lengths differ"),
        (one_scan(pos(listed="1 x") + "<counts>9 8</counts>"), 'invalid numeric value "x"'),
        (one_scan(pos(start=1) + "<counts>9</counts>"), "XRDML missing stepped 2Theta positions"),
        (one_scan(pos(common=" ") + "<counts>9</counts>"), 'invalid numeric value " "'),
        (one_scan(pos(start=1) + "<counts>9 8</counts>"), FIXED),
        (one_scan(pos(common=1) + "<counts>9 8</counts>"), FIXED),
        (one_scan(stepped("1,0", 2, "9 8")), 'invalid numeric value "1,0"'),
        (one_scan(stepped(1, "1e999", "9 8")), "non-finite numeric value"),
    ],
)
def test_refusals_in_check_order(doc, message):
    assert refused(doc) == message


@pytest.mark.parametrize("tag", ["counts", "intensities"])
@pytest.mark.parametrize("factors", ["2 2 0", "2 2", "2 2 2 2", "2 -1 2", ""])
def test_bad_attenuation_factors_fail_beside_either_element(tag, factors):
    data = pos(start=0, end=2) + FACTORS.format(factors) + f"<{tag}>1 2 3</{tag}>"
    assert refused(one_scan(data)) == ATTENUATION


@pytest.mark.parametrize(
    "doc, prefix",
    [
        ("<xrdMeasurements><xrdMeasurement></xrdMeasurements>", "XML parse: "),
        ("<!DOCTYPE x><xrdMeasurements/>", "XML document type declarations are not supported"),
        ("<xrdMeasurements>&bad;</xrdMeasurements>", "XML entity: "),
        ("<xrdMeasurements><xrdMeasurement>", "truncated XML document"),
    ],
)
def test_tree_errors_pass_unchanged(doc, prefix):
    assert refused(doc).startswith(prefix)


@pytest.mark.parametrize("codec", ["utf-16-le", "utf-16-be"])
def test_utf16_with_byte_order_mark_and_no_name(codec):
    doc = one_scan(stepped(1, 3, "4 5 6")).replace("UTF-8", "UTF-16")
    p = read("\ufeff".encode(codec) + doc.encode(codec), name="")
    assert (p.x, p.y) == ([1, 2, 3], [4, 5, 6])


def corpus_values(text, tag):
    return [float(v) for v in re.search(rf"<{tag}[^>]*>([^<]*)<", text).group(1).split()]


def test_corpus_empyrean(corpus):
    path = corpus / "xrdml" / "xylib__empyrean.xrdml"
    p = vorlen.read(str(path))
    assert (len(p.x), p.x[0], p.x[-1]) == (196, 30.05, 41.75)
    assert p.y == corpus_values(path.read_text(), "intensities")
    utf16 = path.read_text().replace('encoding="UTF-8"', 'encoding="UTF-16"').encode("utf-16")
    q = vorlen.read_bytes(utf16, "copy.xrdml")
    assert (q.x, q.y) == (p.x, p.y)


def test_corpus_counts_with_attenuation(corpus):
    path = corpus / "xrdml" / "nomad__m54313_om2th_10.xrdml"
    text = path.read_text()
    p = vorlen.read(str(path))
    assert (len(p.x), p.x[0]) == (1800, 26.025)
    assert p.x[-1] == pytest.approx(79.995, abs=1e-12)
    counts, factors = corpus_values(text, "counts"), corpus_values(text, "beamAttenuationFactors")
    assert any(f != 1 for f in factors)
    assert p.y == [c * f for c, f in zip(counts, factors)]


def test_corpus_pole_figure_refused(corpus):
    with pytest.raises(ValueError, match='XRDML scan axis "Phi" is not 2theta'):
        vorlen.read(str(corpus / "xrdml" / "maud__xrdml_polefigure.xrdml"))


def test_corpus_area_measurement_scans(corpus):
    path = str(corpus / "xrdml" / "nomad__m82762_rc_mesh_long.xrdml")
    first = vorlen.read(path)
    assert len(first.x) == 255
    assert (first.x[0], first.x[-1]) == pytest.approx((67.45053915, 69.95146085), abs=1e-12)
    assert len(vorlen.read(path, index=100).x) == 255
    with pytest.raises(ValueError, match=re.escape("scan 101 is out of range (101 scans)")):
        vorlen.read(path, index=101)


@pytest.mark.parametrize("name", ["scan.xrdml", "scan.txt", ""])
def test_comments_holding_double_hyphens_are_ignored(name):
    plain = one_scan(stepped(values="1 2 3 4 5"))
    commented = plain.replace("<xrdMeasurements", "<!-- a -- b -->\n<!--- c --->\n<xrdMeasurements")
    commented = commented.replace("1 2 3", "1 2<!-- -- --> 3")
    assert read(commented, name=name).y == read(plain).y == [1.0, 2.0, 3.0, 4.0, 5.0]
