"""BRML archives read through the public surface: each case builds an archive that differs from
a plain one-scan file in one respect."""

import io
import zipfile

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import vorlen
from builders import BRML_ROWS as ROWS
from builders import BRML_VIEWS as TWO_THETA_VIEWS
from builders import brml
from builders import brml_container as container
from builders import brml_raw_data as raw_data
from builders import brml_route as route
from builders import zip_archive as zip_bytes


def read(data, index=0):
    return vorlen.read_bytes(data, "scan.brml", index=index)


def test_reads_two_theta_and_recorded_columns():
    pattern = read(brml())
    assert pattern.x == [10.0, 10.5, 11.0]
    assert pattern.y == [100.0, 120.0, 90.0]


@pytest.mark.parametrize("container_name", ["DataContainer.xml", "Experiment0/DataContainer.xml",
                                            "xDataContainer.xml"])
def test_container_found_by_name_suffix(container_name):
    assert read(brml(container_name=container_name)).y == [100.0, 120.0, 90.0]


def test_container_suffix_wins_over_rasx_index():
    data = brml(extra=[("root.xml", "<Root/>")])
    assert read(data).x == [10.0, 10.5, 11.0]


def test_archive_without_container_is_refused():
    data = zip_bytes([("Experiment0/RawData0.xml", raw_data([route()])),
                      ("Experiment0/datacontainer.xml", container(["Experiment0/RawData0.xml"]))])
    with pytest.raises(ValueError) as error:
        vorlen.read_bytes(data, "scan.rasx")
    assert str(error.value) == "Unknown format"


def test_scan_selection_over_references():
    references = ("a.xml", "  ", "b.xml")
    data = brml(references=references,
                raw=[("a.xml", raw_data([route(rows=["0,1,1,1"])])),
                     ("b.xml", raw_data([route(rows=["0,2,1,2"])]))])
    assert read(data, 1).x == [2.0]
    with pytest.raises(ValueError, match=r"^Parse error: scan 2 is out of range \(2 scans\)$"):
        read(data, 2)


def test_references_from_every_list_in_document_order():
    lists = ("<DataContainer><A><RawDataReferenceList><s>a.xml</s></RawDataReferenceList></A>"
             "<RawDataReferenceList><s>b.xml</s></RawDataReferenceList></DataContainer>")
    data = zip_bytes([("DataContainer.xml", lists),
                      ("a.xml", raw_data([route(rows=["0,1,1,1"])])),
                      ("b.xml", raw_data([route(rows=["0,2,1,2"])]))])
    assert [read(data, i).x for i in (0, 1)] == [[1.0], [2.0]]


def test_referenced_member_missing():
    with pytest.raises(ValueError) as error:
        read(brml(references=("Experiment0/RawData1.xml",)))
    assert str(error.value) == "File not found in archive: Experiment0/RawData1.xml"


@pytest.mark.parametrize("flags, expected", [
    (['RouteFlag="Measured"'], [10.0, 10.5, 11.0]),
    ([''], [10.0, 10.5, 11.0]),
    (['RouteFlag="Calculated"', 'RouteFlag="Measured"'], [20.0, 21.0]),
    (['RouteFlag="Measured"', 'RouteFlag="Measured"'], None),
    (['', ''], None),
    ([], None),
])
def test_route_choice(flags, expected):
    rows = [ROWS, ("0,20,0,1", "0,21,0,2")]
    routes = [route(flag=flag, rows=rows[i % 2]) for i, flag in enumerate(flags)]
    if expected is None:
        with pytest.raises(ValueError, match="BRML requires one unambiguous measured data route$"):
            read(brml(routes=routes))
    else:
        assert read(brml(routes=routes)).x == expected


@pytest.mark.parametrize("views, rows, message", [
    ('<RawDataView xsi:type="SomeOtherView" Length="1"/>' + TWO_THETA_VIEWS, ROWS,
     "missing column Start/Length"),
    ('<RawDataView xsi:type="FixedRawDataView" Start="1.0" Length="1"/>' + TWO_THETA_VIEWS, ROWS,
     "invalid column Start/Length"),
    ('<RawDataView xsi:type="RecordedRawDataView" Start="3"/>', ROWS, "missing column Start/Length"),
    (TWO_THETA_VIEWS + '<RawDataView xsi:type="RecordedRawDataView" Start="4" Length="192"/>', ROWS,
     "BRML detector frames are not integrated XRD profiles"),
    ('<RawDataView xsi:type="VaryingRawDataView" Start="18446744073709551615" Length="2">'
     '<FieldDefinitions AxisId="Time"/><FieldDefinitions AxisId="TwoTheta"/></RawDataView>',
     ROWS, "BRML column overflow"),
    ('<RawDataView Start="1" Length="1"><FieldDefinitions AxisId="TwoTheta"/></RawDataView>'
     '<RawDataView xsi:type="RecordedRawDataView" Start="3" Length="1"/>', ROWS,
     "BRML has no varying TwoTheta column"),
    ('<RawDataView xsi:type="VaryingRawDataView" Start="0" Length="1">'
     '<FieldDefinitions AxisId="TwoTheta"/><FieldDefinitions AxisId="Theta"/></RawDataView>'
     '<RawDataView xsi:type="RecordedRawDataView" Start="3" Length="1"/>', ROWS,
     "BRML fields exceed declared view length"),
    ('<RawDataView xsi:type="VaryingRawDataView" Start="0" Length="2">'
     '<FieldDefinitions AxisId="2Theta"/><FieldDefinitions AxisId="Two Theta"/></RawDataView>'
     '<RawDataView xsi:type="RecordedRawDataView" Start="3" Length="1"/>', ROWS,
     "BRML has no varying TwoTheta column"),
    (TWO_THETA_VIEWS.replace("RecordedRawDataView", "FixedRawDataView"), ROWS,
     "BRML has no recorded intensity column"),
    (TWO_THETA_VIEWS, ("1,10.0,5.0,100", "1,10.5,5.25"), "BRML datum missing intensity column"),
    (TWO_THETA_VIEWS, ("1",), "BRML datum missing TwoTheta column"),
    (TWO_THETA_VIEWS, ("1,,5.0,100",), 'invalid numeric value ""'),
    (TWO_THETA_VIEWS, ("1,10.0,5.0,1e400",), "non-finite numeric value"),
    (TWO_THETA_VIEWS, ("1,10;0,5.0,100",), 'invalid numeric value "10;0"'),
])
def test_column_and_row_defects(views, rows, message):
    with pytest.raises(ValueError) as error:
        read(brml(routes=[route(views=views, rows=rows)]))
    assert str(error.value) == "Parse error: " + message


@pytest.mark.parametrize("row, x, y", [
    ("1,10.5,5.0,100", 10.5, 100.0),
    ("1, 10.5 ,5.0,\t100\n", 10.5, 100.0),
    ("1,\u00a010.5\u2003,5.0,100", 10.5, 100.0),
    ("1,+10.5,5.0,-1e2", 10.5, -100.0),
    ("1,.5,5.0,5.", 0.5, 5.0),
    ("1,10.5,5.0,100,", 10.5, 100.0),
    ("1,10.5,5.0,100,,x", 10.5, 100.0),
    ("1,1e-400,5.0,100", 0.0, 100.0),
])
def test_row_values_trimmed_and_read(row, x, y):
    pattern = read(brml(routes=[route(rows=(row,))]))
    assert (pattern.x, pattern.y) == ([x], [y])


@pytest.mark.parametrize("row, message", [
    ("1,10.5x,5.0,100", 'invalid numeric value "10.5x"'),
    ("1,10.5 5,5.0,100", 'invalid numeric value "10.5 5"'),
    ("1,-,5.0,100", 'invalid numeric value "-"'),
    ("1,10.5,5.0,+", 'invalid numeric value "+"'),
    ("1,10.5,5.0, ", 'invalid numeric value " "'),
    ("1,10.5,5.0,1e5e5", 'invalid numeric value "1e5e5"'),
    ("1,inf,5.0,100", "non-finite numeric value"),
    ("1,10.5,5.0, NaN ", "non-finite numeric value"),
])
def test_row_value_refusals(row, message):
    with pytest.raises(ValueError) as error:
        read(brml(routes=[route(rows=(row,))]))
    assert str(error.value) == "Parse error: " + message


def test_unused_columns_are_never_parsed():
    rows = ("time?,10.0,not a number,100,",)
    assert read(brml(routes=[route(rows=rows)])).y == [100.0]


def test_field_name_used_when_axis_id_blank():
    views = ('<RawDataView xsi:type="VaryingRawDataView" Start="0" Length="1">'
             '<FieldDefinitions AxisId=" " FieldName="TWOTHETA"/></RawDataView>'
             '<RawDataView xsi:type="RecordedRawDataView" Start="1" Length="1"/>')
    assert read(brml(routes=[route(views=views, rows=["7,8"])])).x == [7.0]


def test_route_without_rows_is_an_empty_pattern():
    with pytest.raises(ValueError, match="^Parse error: pattern contains no points$"):
        read(brml(routes=[route(rows=())]))


def test_descending_rows_come_back_ascending():
    pattern = read(brml(routes=[route(rows=("0,12,0,1", "0,11,0,2", "0,10,0,3"))]))
    assert (pattern.x, pattern.y) == ([10.0, 11.0, 12.0], [3.0, 2.0, 1.0])


def test_many_rows():
    rows = [f"1,{10 + i * 0.001!r},0,{i}" for i in range(50000)]
    pattern = read(brml(routes=[route(rows=rows)]))
    assert len(pattern.x) == 50000
    assert pattern.x[-1] == 10 + 49999 * 0.001
    assert pattern.y[-1] == 49999.0


@settings(max_examples=40, deadline=None)
@given(st.lists(st.floats(allow_nan=False, allow_infinity=False, width=64), min_size=1,
                max_size=30, unique=True))
def test_values_round_trip_exactly(values):
    xs = sorted(values)
    rows = [f"0,{x!r},0,{-x!r}" for x in xs]
    pattern = read(brml(routes=[route(rows=rows)]))
    assert pattern.x == xs
    assert pattern.y == [-x for x in xs]


# ---- archive member failures ----

def corrupt(data, member_content):
    """Flips one byte of a stored member's content, so its CRC-32 no longer matches."""
    at = data.index(member_content)
    return data[:at] + bytes([data[at] ^ 1]) + data[at + 1:]


def test_corrupt_raw_data_member_is_an_os_error():
    raw = raw_data([route()]).encode()
    data = zip_bytes([("DataContainer.xml", container(["r.xml"])), ("r.xml", raw)],
                     compression=zipfile.ZIP_STORED)
    with pytest.raises(OSError):
        read(corrupt(data, raw))


def mark_encrypted(members, name):
    """An archive whose member `name` carries the encryption flag in both of its headers."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for member_name, content in members:
            archive.writestr(member_name, content)
        info = archive.getinfo(name)
        info.flag_bits |= 0x1
    data = bytearray(buffer.getvalue())
    data[info.header_offset + 6] |= 0x1
    return bytes(data)


def test_encrypted_member_is_a_zip_error():
    data = mark_encrypted([("DataContainer.xml", container(["r.xml"])),
                           ("r.xml", raw_data([route()]))], "r.xml")
    with pytest.raises(ValueError, match="^Zip error: "):
        read(data)


def test_member_over_the_size_limit():
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as archive:
        archive.writestr("DataContainer.xml", container(["r.xml"]))
        with archive.open("r.xml", "w", force_zip64=True) as member:
            chunk = b" " * (1 << 24)
            for _ in range(16):
                member.write(chunk)
            member.write(b" ")
    with pytest.raises(ValueError, match="^Parse error: archive pattern member exceeds 256 MiB$"):
        read(buffer.getvalue())


@pytest.mark.parametrize("content, message", [
    ("<RawData><DataRoute>", "truncated XML document"),
    ("<!DOCTYPE r><RawData/>", "XML document type declarations are not supported"),
])
def test_raw_data_member_must_be_acceptable_xml(content, message):
    with pytest.raises(ValueError, match=f"^Parse error: {message}$"):
        read(brml(raw=[("Experiment0/RawData0.xml", content)]))


def test_not_an_archive():
    with pytest.raises(ValueError, match="^Zip error: "):
        read(b"PK\x03\x04" + b"\0" * 40)


# ---- real files ----

def test_corpus_two_theta_omega_scan(corpus):
    pattern = vorlen.read(str(corpus / "brml" / "nomad__23-012-AG_2thomegascan_long.brml"))
    assert len(pattern.x) == 2001
    assert (pattern.x[0], pattern.x[-1]) == (44.0, 48.0)
    assert pattern.x[1] == 44.002
    assert pattern.y[:4] == [3.0, 1.0, 1.0, 2.0]


def test_corpus_reciprocal_space_map_is_refused(corpus):
    with pytest.raises(ValueError) as error:
        vorlen.read(str(corpus / "brml" / "dxtools__RSMap_psdfixed.brml"))
    assert str(error.value) == "Parse error: BRML detector frames are not integrated XRD profiles"


# ---- comments and damaged headers ----

ODD_COMMENT = "<!-- a -- b --->"


@pytest.mark.parametrize("where", ["container", "raw data", "datum"])
def test_comments_holding_double_hyphens_are_ignored(where):
    raw = raw_data([route(rows=(ROWS[0], ROWS[1].replace(",5.25,", f",5.25{ODD_COMMENT},"), ROWS[2])
                          if where == "datum" else ROWS)])
    if where == "raw data":
        raw = raw.replace("<DataRoutes>", f"{ODD_COMMENT}<DataRoutes>{ODD_COMMENT}")
    text = container(["Experiment0/RawData0.xml"])
    if where == "container":
        text = ODD_COMMENT + text.replace("<string>", f"<string>{ODD_COMMENT}")
    data = zip_bytes([("Experiment0/DataContainer.xml", text), ("Experiment0/RawData0.xml", raw)])
    pattern = read(data)
    assert (pattern.x, pattern.y) == ([10.0, 10.5, 11.0], [100.0, 120.0, 90.0])


@pytest.mark.parametrize("member", ["Experiment0/RawData0.xml", "Experiment0/Unused.xml"])
def test_damaged_local_header_is_a_zip_error(member):
    # Not the first member: its signature is the one detection sees.
    data = bytearray(brml(extra=[("Experiment0/Unused.xml", "<a/>")]))
    with zipfile.ZipFile(io.BytesIO(bytes(data))) as archive:
        offset = archive.getinfo(member).header_offset
    data[offset + 3] ^= 0xFF
    with pytest.raises(ValueError, match="^Zip error: "):
        read(bytes(data))
