"""Which reader an input reaches: signatures, archive members, text markers, layout, extension."""
import pytest

import vorlen
from builders import zip_archive as archive


TWO_COLUMNS = b"10 1\n20 2\n"
VERSIONS = "Parse error: Bruker RAW: versions 1 and 2 are unsupported; export RAW3, RAW4, UXD, or XY"
NO_XY = "Parse error: ASCII: no complete x/y pattern found"


@pytest.mark.parametrize(
    "data, name, message",
    [
        # binary signatures win over any name
        (b"RAW1.01" + bytes(20), "scan.xy", "Parse error: Bruker RAW: truncated record at offset 0"),
        (b"RAW4.00" + bytes(20), "scan.cif", "Parse error: Bruker RAW: truncated record at offset 0"),
        (b"RAW2 anything", "scan.xy", VERSIONS),
        (b"RAW \x00rest", "scan.xy", VERSIONS),
        # archives: BRML is looked for over all members before RASX
        (archive({"root.xml": "<", "Experiment0/DataContainer.xml": "<a/>"}), "a.zip",
         "Parse error: scan 0 is out of range (0 scans)"),
        (archive({"Data/Profile0.txt": "1 2"}), "a.zip", "File not found in archive: root.xml"),
        (archive({"profile0.txt": "1 2"}), "a.rasx", "Unknown format"),
        (archive({}), "a.brml", "Unknown format"),
        (b"PK\x03\x04 not really", "a.zip", "Zip error: "),
        # text markers
        ("<?xml version='1.0'?><x:xrdMeasurements xmlns:x='u'/>".encode("utf-16"), "a.txt",
         "Parse error: scan 0 is out of range (0 scans)"),
        (b"  *RAS_HEADER_START\n", "a.txt", "Parse error: RAS: scan 0 is out of range (0 scans)"),
        (b"data_x\n_pd_meas_2theta_scan 1\n", "a.txt", "Parse error: pdCIF: "),
        (b"data_x\n_cell_length_a 1\n", "a.cif", "Parse error: pdCIF: "),
        (b"title\n  BANK 1 3 1 CONST 1000 5 STD\n", "a.txt", "Parse error: GSAS STD: "),
        (b"_DRIVE = THETA\n", "a.txt", "Parse error: UXD: scan 0 is out of range"),
        # the integrated-profile layout: four header lines and as many data lines as declared
        (b"title\nQ\nintensity\n3\n1 2\n2 3\n\n3 4\n", "a.txt", "Parse error: CHI: "),
        (b"10 1\n\x00", "a.xy", "Unknown format"),
        # extensions
        (TWO_COLUMNS, "a.raw", "Parse error: GSAS: bank index 0 is out of range (0 banks)"),
        (TWO_COLUMNS, "a.FXYE", "Parse error: GSAS: bank index 0 is out of range (0 banks)"),
        (TWO_COLUMNS, "a.ras", "Parse error: RAS: scan 0 is out of range (0 scans)"),
        (TWO_COLUMNS, "a.uxd", "Parse error: UXD: "),
        (TWO_COLUMNS, "a.chi", "Parse error: CHI: "),
        (TWO_COLUMNS, "a.cif", "Parse error: pdCIF: "),
        (TWO_COLUMNS, "a.xrdml", "Parse error: XML "),
        (b"", "a.xy", NO_XY),
        (b"1", "a.xy", NO_XY),
        (b"12", "a.xy", NO_XY),
        (b"RAW", "a.xy", NO_XY),
    ],
)
def test_routes(data, name, message):
    with pytest.raises(ValueError) as caught:
        vorlen.read_bytes(data, name)
    assert str(caught.value).startswith(message)


@pytest.mark.parametrize(
    "data, name",
    [
        (b"RAW " + b"x" * 300 + b"\n" + TWO_COLUMNS, "a.xy"),  # "RAW " text without a zero byte
        (b"data_x\n_cell_length_a 1\n" + TWO_COLUMNS, "a.txt"),  # CIF without _pd_ under .txt
        (b"  bank 1 3\n" + TWO_COLUMNS, "a.txt"),  # lower-case bank is no GSAS marker
        (b"title\nQ\nintensity\n4\n1 2\n2 3\n3 4\n", "a.txt"),  # count disagrees: not the layout
        (TWO_COLUMNS, ".xy"),
        (TWO_COLUMNS, "DATA.XY"),
        (TWO_COLUMNS, "dir.raw/scan"),
        (TWO_COLUMNS, "a.dat"),
    ],
)
def test_reaches_the_xy_reader(data, name):
    assert len(vorlen.read_bytes(data, name).x) >= 2


def test_nul_beyond_the_head_is_left_to_the_reader():
    data = b"10 1\n" * 14000 + b"\x00\n"
    with pytest.raises(ValueError, match="Binary data supplied to an ASCII pattern reader"):
        vorlen.read_bytes(data, "a.xy")


def test_block_is_ignored_and_index_checked_first():
    with pytest.raises(ValueError, match="^Parse error: this format has one pattern; index must be 0$"):
        vorlen.read_bytes(b"10 1\n10 1\n", "a.xy", index=1)  # before the reader would refuse it
    with pytest.raises(ValueError, match="GSAS: bank index 0"):
        vorlen.read_bytes(TWO_COLUMNS, "a.gsa", block="anything")
