"""RASX archives read through the public surface: each case builds an archive that differs from
a plain one-measurement file in one respect."""

import io
import zipfile

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import vorlen
from builders import RASX_PROFILE as PROFILE
from builders import rasx
from builders import rasx_conditions as conditions
from builders import rasx_measurement as measurement
from builders import rasx_root as index


def read(data, index=0):
    return vorlen.read_bytes(data, "scan.rasx", index=index)


def test_reads_first_two_columns_of_the_profile():
    pattern = read(rasx())
    assert pattern.x == [10.0, 10.04, 10.08]
    assert pattern.y == [170.5, 170.25, 150.75]


def test_selected_measurement_only_is_opened():
    # Data0's axis is refused and its profile is not a number table: neither is looked at.
    root = index(measurement("Data0", ["a.txt", "a-conditions.xml"]),
                 measurement("Data1", ["a.txt", "a-conditions.xml"]))
    data = rasx(root, {"Data0/a.txt": "garbage", "Data0/a-conditions.xml": conditions("Phi"),
                       "Data1/a.txt": "20 1\n21 2\n", "Data1/a-conditions.xml": conditions()})
    assert read(data, 1).x == [20.0, 21.0]
    with pytest.raises(ValueError, match='scan axis "Phi" is not a supported 2theta scan$'):
        read(data, 0)


def test_profile_name_matched_without_case_and_opened_as_written():
    root = index(measurement("Data0", ["notes.TXT.bak", "A.TXT", "b.txt"]))
    assert read(rasx(root, {"Data0/A.TXT": "1 2\n"})).y == [2.0]


@pytest.mark.parametrize("name", ["data0", "Data0a", "Data", "DATA1", "Data٣"])
def test_only_data_plus_ascii_digits_is_a_measurement(name):
    root = index(measurement(name, ["Profile0.txt"]))
    with pytest.raises(ValueError, match=r"^Parse error: scan 0 is out of range \(0 scans\)$"):
        read(rasx(root, {f"{name}/Profile0.txt": "1 2\n"}))


def test_nested_measurement_is_not_counted():
    root = index("<Group>" + measurement("Data0", ["Profile0.txt"]) + "</Group>")
    with pytest.raises(ValueError, match=r"out of range \(0 scans\)$"):
        read(rasx(root, {"Data0/Profile0.txt": "1 2\n"}))


def test_measurement_without_profile_does_not_count():
    root = index(measurement("Data0", ["Image0.bin", "MesurementConditions0.xml"]),
                 measurement("Data12", ["Profile12.txt"]))
    data = rasx(root, {"Data12/Profile12.txt": "5 6\n"})
    assert read(data, 0).x == [5.0]
    with pytest.raises(ValueError, match=r"^Parse error: scan 1 is out of range \(1 scans\)$"):
        read(data, 1)


def test_content_hash_list_without_name_contributes_nothing():
    root = index('<Data0><ContentHashList File="Profile0.txt"/>'
                 '<Other Name="Profile0.txt"/><ContentHashList Name="P.txt"/></Data0>')
    assert read(rasx(root, {"Data0/P.txt": "3 4\n"})).x == [3.0]


@pytest.mark.parametrize("members, conditions_member", [
    (["Profile0.txt"], None),
    (["Profile0.txt", "Conditions.json", "conditions.xml.txt"], None),
    (["Profile0.txt", "MEASUREMENTCONDITIONS0.XML"], "<c><AxisName>2Theta</AxisName></c>"),
    (["Profile0.txt", "cond-conditions.xml"], "<c><ScanInformation/></c>"),
])
def test_axis_check_only_where_conditions_name_an_axis(members, conditions_member):
    files = {"Data0/Profile0.txt": "1 2\n"}
    if conditions_member is not None:
        files["Data0/" + members[1]] = conditions_member
    assert read(rasx(index(measurement("Data0", members)), files)).x == [1.0]


@pytest.mark.parametrize("members, missing", [
    ({"Data0/Profile0.txt": PROFILE}, "Data0/MesurementConditions0.xml"),
    ({"Data0/MesurementConditions0.xml": conditions()}, "Data0/Profile0.txt"),
    ({"Data0/profile0.txt": PROFILE, "Data0/MesurementConditions0.xml": conditions()},
     "Data0/Profile0.txt"),
])
def test_listed_members_must_exist_with_their_exact_names(members, missing):
    with pytest.raises(ValueError) as error:
        read(rasx(members=members))
    assert str(error.value) == "File not found in archive: " + missing


@pytest.mark.parametrize("axis", ["TwoThetaTheta", "TwoThetaOmega", "2Theta", "TwoTheta",
                                  "2Theta_w", "2-Theta_Omega", "Two Theta",
                                  "\n   TwoTheta \r\n  "])
def test_accepted_scan_axes(axis):
    assert len(read(rasx(members={"Data0/Profile0.txt": PROFILE,
                                  "Data0/MesurementConditions0.xml": conditions(axis)})).x) == 3


@pytest.mark.parametrize("axis, shown", [
    ("2-Theta/Omega", "2-Theta/Omega"),
    ("Omega", "Omega"),
    ("  Phi\n", "Phi"),
    ("", ""),
    ("TwoTheta\tTheta", "TwoTheta\\tTheta"),
    ("Two&quot;Theta", 'Two\\"Theta'),
])
def test_refused_scan_axes(axis, shown):
    data = rasx(members={"Data0/Profile0.txt": PROFILE,
                         "Data0/MesurementConditions0.xml": conditions(axis)})
    with pytest.raises(ValueError) as error:
        read(data)
    assert str(error.value) == f'Parse error: scan axis "{shown}" is not a supported 2theta scan'


@pytest.mark.parametrize("profile, message", [
    ("10 1\n11\n", "RASX missing intensity"),
    ("10 1\nangle 4\n", 'invalid numeric value "angle"'),
    ("10 1D2\n", 'invalid numeric value "1D2"'),
    ("10,5 1\n", 'invalid numeric value "10,5"'),
    ("10 inf\n", "non-finite numeric value"),
    ("# comment\n10 1\n", 'invalid numeric value "#"'),
    ("\n  \r\n\t\n", "pattern contains no points"),
    ("", "pattern contains no points"),
])
def test_profile_defects(profile, message):
    with pytest.raises(ValueError) as error:
        read(rasx(members={"Data0/Profile0.txt": profile}, root=index(measurement("Data0", ["Profile0.txt"]))))
    assert str(error.value) == "Parse error: " + message


def test_utf16_profile_is_decoded():
    data = rasx(root=index(measurement("Data0", ["Profile0.txt"])),
                members={"Data0/Profile0.txt": "1.5 2\r\n2.5 3\r\n".encode("utf-16")})
    assert read(data).x == [1.5, 2.5]


def test_descending_profile_comes_back_ascending():
    data = rasx(root=index(measurement("Data0", ["Profile0.txt"])),
                members={"Data0/Profile0.txt": "3 30\n2 20\n1 10\n"})
    pattern = read(data)
    assert (pattern.x, pattern.y) == ([1.0, 2.0, 3.0], [10.0, 20.0, 30.0])


def test_archive_with_only_a_profile_lacks_its_index():
    with pytest.raises(ValueError) as error:
        read(rasx(root=False, members={"Data/Profile0.txt": "1 2\n"}))
    assert str(error.value) == "File not found in archive: root.xml"


def test_index_must_be_acceptable_xml():
    with pytest.raises(ValueError, match="^Parse error: XML must contain exactly one root element$"):
        read(rasx(root="<Root/><Root/>"))


@settings(max_examples=40, deadline=None)
@given(st.lists(st.floats(allow_nan=False, allow_infinity=False, width=64), min_size=1,
                max_size=30, unique=True))
def test_values_round_trip_exactly(values):
    xs = sorted(values)
    profile = "".join(f"{x!r}\t{-x!r}\t1\r\n" for x in xs)
    data = rasx(root=index(measurement("Data0", ["Profile0.txt"])),
                members={"Data0/Profile0.txt": profile})
    pattern = read(data)
    assert pattern.x == xs
    assert pattern.y == [-x for x in xs]


# ---- archive member failures ----

def test_corrupt_profile_is_an_os_error():
    content = "1 2\n3 4\n" * 20
    data = rasx(root=index(measurement("Data0", ["Profile0.txt"])),
                members={"Data0/Profile0.txt": content}, compression=zipfile.ZIP_STORED)
    at = data.index(content.encode())
    with pytest.raises(OSError):
        read(data[:at] + b"9" + data[at + 1:])


def test_encrypted_profile_is_a_zip_error():
    data = bytearray(rasx(root=index(measurement("Data0", ["Profile0.txt"])),
                          members={"Data0/Profile0.txt": "1 2\n"}))
    with zipfile.ZipFile(io.BytesIO(bytes(data))) as archive:
        info = archive.getinfo("Data0/Profile0.txt")
    data[info.header_offset + 6] |= 0x1
    directory = data.index(b"PK\x01\x02" )  # the profile is the first member
    data[directory + 8] |= 0x1
    with pytest.raises(ValueError, match="^Zip error: "):
        read(bytes(data))


def test_profile_over_the_size_limit():
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as archive:
        archive.writestr("root.xml", index(measurement("Data0", ["Profile0.txt"])))
        with archive.open("Data0/Profile0.txt", "w", force_zip64=True) as member:
            chunk = b"\n" * (1 << 24)
            for _ in range(16):
                member.write(chunk)
            member.write(b"\n")
    with pytest.raises(ValueError, match="^Parse error: archive pattern member exceeds 256 MiB$"):
        read(buffer.getvalue())


# ---- real files ----

@pytest.mark.parametrize("name, count, first, last", [
    ("nomad__TwoTheta_scan_powder.rasx", 2726, 10.0, 119.0),
    ("genx__rigaku_test.rasx", 2151, 8.5, 30.0),
])
def test_corpus(corpus, name, count, first, last):
    pattern = vorlen.read(str(corpus / "rasx" / name))
    assert len(pattern.x) == count
    assert (pattern.x[0], pattern.x[-1]) == (first, last)


def test_comments_holding_double_hyphens_are_ignored():
    root = index(STANDARD).replace("<Root", "<!-- a -- b --><Root").replace(
        "<ContentHashList", "<!-- c --->\n<ContentHashList")
    assert read(rasx(root=root)).y == read(rasx()).y


@pytest.mark.parametrize("member", ["root.xml", "Data0/MesurementConditions0.xml"])
def test_damaged_local_header_is_a_zip_error(member):
    data = bytearray(rasx())
    with zipfile.ZipFile(io.BytesIO(bytes(data))) as archive:
        offset = archive.getinfo(member).header_offset
    data[offset + 3] ^= 0xFF
    with pytest.raises(ValueError, match="^Zip error: "):
        read(bytes(data))
