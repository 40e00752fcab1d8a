"""XRDML: scan selection, axis and unit checks, positions, attenuation, every refusal."""

import re

import pytest

import vorlen


def positions(axis="2Theta", unit="deg", body=None, start=None, end=None, common=None, listed=None):
    attrs = "" if axis is None else f' axis="{axis}"'
    attrs += "" if unit is None else f' unit="{unit}"'
    inner = body or ""
    if listed is not None:
        inner += f"<listPositions>{listed}</listPositions>"
    if start is not None:
        inner += f"<startPosition>{start}</startPosition>"
    if end is not None:
        inner += f"<endPosition>{end}</endPosition>"
    if common is not None:
        inner += f"<commonPosition>{common}</commonPosition>"
    return f"<positions{attrs}>{inner}</positions>"


def scan(data="", axis="2Theta", data_points=True):
    attr = "" if axis is None else f' scanAxis="{axis}"'
    inner = f"<dataPoints>{data}</dataPoints>" if data_points else ""
    return f'<scan appendNumber="0"{attr}><header/>{inner}</scan>'


def stepped(n=5, start=10, end=20, values=None, tag="intensities"):
    values = values or " ".join(str(i + 1) for i in range(n))
    return positions(start=start, end=end) + f'<{tag} unit="counts">{values}</{tag}>'


def document(*measurements):
    body = "".join(f"<xrdMeasurement>{''.join(m)}</xrdMeasurement>" for m in measurements)
    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<xrdMeasurements xmlns="http://www.xrdml.com/XRDMeasurement/1.5" '
        'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">'
        f"<comment><entry>made for a test</entry></comment>{body}</xrdMeasurements>"
    )


def read(text, index=0, name="scan.xrdml"):
    data = text.encode() if isinstance(text, str) else text
    return vorlen.read_bytes(data, name, index=index)


def refused(text, index=0):
    with pytest.raises(ValueError) as info:
        read(text, index)
    return str(info.value).removeprefix("Parse error: ")


def one_scan(data, axis="2Theta"):
    return document([scan(data, axis)])


def test_stepped_positions_are_computed_from_start_and_end():
    p = read(one_scan(stepped(5, 10, 20)))
    assert p.x == [10, 12.5, 15, 17.5, 20]
    assert p.y == [1, 2, 3, 4, 5]


def test_step_arithmetic_is_multiply_divide_add():
    s, e, n = 26.025, 79.995, 1800
    p = read(one_scan(stepped(n, s, e)))
    assert p.x == [i * (e - s) / (n - 1) + s for i in range(n)]


def test_descending_positions_come_back_ascending():
    p = read(one_scan(stepped(3, 30, 10, values="1 2 3")))
    assert p.x == [10, 20, 30]
    assert p.y == [3, 2, 1]


def test_scans_are_counted_over_all_measurements():
    first = [scan(stepped(2, 1, 2, values=f"{10 * k} {10 * k + 1}")) for k in (0, 1)]
    second = [scan(stepped(2, 1, 2, values=f"{10 * k} {10 * k + 1}")) for k in (2, 3)]
    doc = document(first, second)
    assert read(doc, 2).y == [20, 21]
    assert read(doc, 3).y == [30, 31]
    assert refused(doc, 4) == "scan 4 is out of range (4 scans)"
    assert refused(document(), 0) == "scan 0 is out of range (0 scans)"


def test_other_children_are_not_scans():
    doc = (
        "<xrdMeasurements><scan>" + stepped() + "</scan><xrdMeasurement><sample/>"
        + scan(stepped(2, 5, 6, values="7 8")) + "<other><scan/></other></xrdMeasurement>"
        + "</xrdMeasurements>"
    )
    assert read(doc).y == [7, 8]
    assert refused(doc, 1) == "scan 1 is out of range (1 scans)"


def test_namespace_prefixes_are_dropped():
    doc = one_scan(stepped(2, 1, 2)).replace("<", "<x:").replace("<x:/", "</x:").replace(
        "<x:?xml", "<?xml"
    ).replace("xmlns=", "xmlns:x=")
    assert read(doc).x == [1, 2]


@pytest.mark.parametrize(
    "axis", [None, "2Theta", "2Theta-Omega", "Gonio", "Omega-2Theta", "Two_Theta", "omega theta",
             "2THETA-THETA", "Omega-TwoTheta"]
)
def test_scan_axes_read_as_2theta(axis):
    assert read(one_scan(stepped(), axis)).x[0] == 10


@pytest.mark.parametrize(
    "axis, shown",
    [("Omega", '"Omega"'), ("Phi", '"Phi"'), ("2Theta\tOmega", '"2Theta\\tOmega"'),
     ("", '""'), ("Chi-2Theta", '"Chi-2Theta"')],
)
def test_other_scan_axes_are_refused(axis, shown):
    assert refused(one_scan(stepped(), axis)) == f"XRDML scan axis {shown} is not 2theta"


def test_intensities_preferred_over_counts_wherever_they_stand():
    data = positions(start=1, end=2) + "<counts>5 6</counts><intensities>1 2</intensities>"
    assert read(one_scan(data)).y == [1, 2]


def test_intensities_across_indented_lines():
    values = "\n\t\t\t1 2\r\n\t\t\t3\n\t\t\t4 5\n\t\t"
    assert read(one_scan(stepped(values=values))).y == [1, 2, 3, 4, 5]


def test_positions_of_other_axes_and_lowercase_2theta_are_skipped():
    data = (
        positions("Omega", start=1, end=2) + positions("2theta", start=3, end=4)
        + positions("2Theta", start=5, end=6) + "<intensities>1 1</intensities>"
    )
    assert read(one_scan(data)).x == [5, 6]
    only_lower = positions("2theta", start=3, end=4) + "<intensities>1 1</intensities>"
    assert refused(one_scan(only_lower)) == "XRDML missing 2Theta positions"


@pytest.mark.parametrize("unit", [None, "deg", "Deg", "DEGREES", "degree", "°"])
def test_degree_units(unit):
    assert read(one_scan(positions(unit=unit, start=1, end=2) + "<counts>1 1</counts>")).x == [1, 2]


@pytest.mark.parametrize("unit, shown", [("rad", '"rad"'), (" deg", '" deg"'), ("", '""')])
def test_other_units_are_refused(unit, shown):
    data = positions(unit=unit, start=1, end=2) + "<counts>1 1</counts>"
    assert refused(one_scan(data)) == f"XRDML 2Theta unit {shown} is not degrees"


def test_listed_positions():
    data = positions(listed="\n 1.5 2.5\n 4 ", start=0, end=9) + "<intensities>7 8 9</intensities>"
    assert read(one_scan(data)).x == [1.5, 2.5, 4]
    short = positions(listed="1 2") + "<intensities>7 8 9</intensities>"
    assert refused(one_scan(short)) == "XRDML position/intensity lengths differ"


@pytest.mark.parametrize(
    "pos, x",
    [({"start": 12, "end": 14}, [12]), ({"common": 30}, [30]), ({"start": 5, "end": 6, "common": 30}, [5])],
)
def test_single_point_scans(pos, x):
    assert read(one_scan(positions(**pos) + "<counts>9</counts>")).x == x


@pytest.mark.parametrize(
    "data, message",
    [
        (positions(start=1) + "<counts>9</counts>", "XRDML missing stepped 2Theta positions"),
        (positions(start=1) + "<counts>9 8</counts>",
         "XRDML has a fixed or missing 2Theta axis, not a powder profile"),
        (positions(common=1) + "<counts>9 8</counts>",
         "XRDML has a fixed or missing 2Theta axis, not a powder profile"),
        (positions(start="1,0", end=2) + "<counts>9 8</counts>", 'invalid numeric value "1,0"'),
        (positions(start=1, end="1e999") + "<counts>9 8</counts>", "non-finite numeric value"),
        (positions(listed="1 x") + "<counts>9 8</counts>", 'invalid numeric value "x"'),
        (positions(common=" ") + "<counts>9</counts>", 'invalid numeric value " "'),
    ],
)
def test_position_refusals(data, message):
    assert refused(one_scan(data)) == message


def test_attenuation_applies_to_counts_only():
    factors = "<beamAttenuationFactors>" + " ".join(["2"] * 11) + "</beamAttenuationFactors>"
    counts = positions(start=0, end=10) + factors + "<counts>" + " ".join(["3"] * 11) + "</counts>"
    assert read(one_scan(counts)).y == [6] * 11
    intensities = counts.replace("counts>", "intensities>")
    assert read(one_scan(intensities)).y == [3] * 11


@pytest.mark.parametrize("tag", ["counts", "intensities"])
@pytest.mark.parametrize("factors", ["2 2 0", "2 2", "2 2 2 2", "2 -1 2", "", "2 2 x"])
def test_bad_attenuation_factors_fail_beside_either_element(tag, factors):
    data = (
        positions(start=0, end=2) + f"<beamAttenuationFactors>{factors}</beamAttenuationFactors>"
        + f"<{tag}>1 2 3</{tag}>"
    )
    expected = (
        'invalid numeric value "x"' if "x" in factors
        else "XRDML attenuation factors must be positive and match intensity length"
    )
    assert refused(one_scan(data)) == expected


@pytest.mark.parametrize(
    "data, message",
    [
        ("", "XRDML missing intensities/counts"),
        (positions(start=1, end=2) + "<intensities> \n </intensities>", "XRDML has no intensity points"),
        (positions(start=1, end=2) + "<intensities>1 NaN</intensities>", "non-finite numeric value"),
        (positions(start=1, end=2) + "<counts>1 2,5</counts>", 'invalid numeric value "2,5"'),
        (positions(start=1, end=2) + "<counts>1 1.5D3</counts>", 'invalid numeric value "1.5D3"'),
        ("<counts>1 2</counts>", "XRDML missing 2Theta positions"),
        ("<counts>1 2</counts><sub>" + positions(start=1, end=2) + "</sub>",
         "XRDML missing 2Theta positions"),
    ],
)
def test_data_point_refusals(data, message):
    assert refused(one_scan(data)) == message


def test_scan_without_data_points():
    assert refused(document([scan(data_points=False)])) == "XRDML scan has no dataPoints"


def test_checks_run_in_order():
    # A wrong axis is reported before the missing data, a missing intensity element before the
    # missing positions, the positions before the unit, the unit before the attenuation.
    assert refused(document([scan(data_points=False, axis="Phi")])) == (
        'XRDML scan axis "Phi" is not 2theta'
    )
    assert refused(one_scan("<beamAttenuationFactors>0</beamAttenuationFactors>")) == (
        "XRDML missing intensities/counts"
    )
    bad_unit = positions(unit="rad", listed="1") + "<counts>1 2</counts>"
    assert refused(one_scan(bad_unit)) == 'XRDML 2Theta unit "rad" is not degrees'
    bad_both = (
        positions(listed="1") + "<beamAttenuationFactors>0</beamAttenuationFactors><counts>1 2</counts>"
    )
    assert refused(one_scan(bad_both)) == "XRDML position/intensity lengths differ"


def test_root_of_another_name_under_the_xrdml_extension():
    assert refused("<measurements/>") == "not an XRDML measurement"


@pytest.mark.parametrize(
    "doc, message",
    [
        ("<xrdMeasurements><xrdMeasurement></xrdMeasurements>", "XML parse: "),
        ("<!DOCTYPE xrdMeasurements><xrdMeasurements/>",
         "XML document type declarations are not supported"),
        ("<xrdMeasurements>&bad;</xrdMeasurements>", "XML entity: "),
        ("<xrdMeasurements><xrdMeasurement>", "truncated XML document"),
    ],
)
def test_tree_errors_pass_unchanged(doc, message):
    assert refused(doc).startswith(message)


def test_utf16_with_byte_order_mark_and_no_extension():
    doc = one_scan(stepped(3, 1, 3)).replace("UTF-8", "UTF-16")
    for codec in ("utf-16-le", "utf-16-be"):
        bom = "\ufeff".encode(codec)
        p = read(bom + doc.encode(codec), name="")
        assert (p.x, p.y) == ([1, 2, 3], [1, 2, 3])


def corpus_values(text, tag):
    return [float(v) for v in re.search(rf"<{tag}[^>]*>([^<]*)<", text).group(1).split()]


def test_corpus_empyrean(corpus):
    path = corpus / "xrdml" / "xylib__empyrean.xrdml"
    p = vorlen.read(str(path))
    assert len(p.x) == 196
    assert (p.x[0], p.x[-1]) == (30.05, 41.75)
    assert p.y == corpus_values(path.read_text(), "intensities")
    # The same document in UTF-16 with a byte-order mark reads the same.
    utf16 = path.read_text().replace('encoding="UTF-8"', 'encoding="UTF-16"').encode("utf-16")
    q = vorlen.read_bytes(utf16, "copy.xrdml")
    assert (q.x, q.y) == (p.x, p.y)


def test_corpus_counts_with_attenuation(corpus):
    path = corpus / "xrdml" / "nomad__m54313_om2th_10.xrdml"
    text = path.read_text()
    p = vorlen.read(str(path))
    assert len(p.x) == 1800
    assert p.x[0] == 26.025 and p.x[-1] == pytest.approx(79.995, abs=1e-12)
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
