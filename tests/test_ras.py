import pytest

import vorlen


def test_miniflex_scan_reads_every_point(corpus):
    p = vorlen.read(str(corpus / "ras" / "pyscatt__TiO2-1-3h.ras"))
    assert len(p.x) == 4251
    assert (p.x[0], p.x[-1]) == (5.0, 90.0)
    assert (p.y[0], p.y[-1]) == (639.0, 72.0)


@pytest.mark.parametrize("name, index, message", [
    ("pyscatt__TiO2-1-3h.ras", 1, "RAS: scan 1 is out of range (1 scans)"),
    ("maud__Bruker_xrd_10-10_polefigure.ras", 0, 'RAS: axis "Phi" is not 2theta in degrees'),
    ("maud__Bruker_xrd_10-10_polefigure.ras", 18, 'RAS: axis "Phi" is not 2theta in degrees'),
    ("maud__Bruker_xrd_10-10_polefigure.ras", 19, "RAS: scan 19 is out of range (19 scans)"),
])
def test_real_files_refused_with_the_defect(corpus, name, index, message):
    with pytest.raises(ValueError) as info:
        vorlen.read(str(corpus / "ras" / name), index=index)
    assert str(info.value) == "Parse error: " + message


def scan(count, rows=b"10.00 5 1.0\n10.02 6 1.0\n"):
    return (b"*RAS_DATA_START\n*RAS_HEADER_START\n*FILE_COMMENT \"\x82\xa0\x82\xa2\"\n"
            b"*MEAS_DATA_COUNT " + count + b"\n*RAS_HEADER_END\n*RAS_INT_START\n" + rows +
            b"*RAS_INT_END\n*RAS_DATA_END\n")


# Instruments write the declared count with a zero fraction (the other forms are tested in C++).
@pytest.mark.parametrize("count", [b'"2"', b'"2.0000000000"', b"+2.", b'"002.0"'])
def test_declared_count_forms_accepted(count):
    p = vorlen.read_bytes(scan(count), "scan.txt")  # found by content; Shift-JIS header bytes
    assert (p.x, p.y) == ([10.0, 10.02], [5.0, 6.0])


def test_descending_rows_come_back_ascending():
    p = vorlen.read_bytes(scan(b"2", b"20 2\n10 1\n"), "scan.ras")
    assert (p.x, p.y) == ([10.0, 20.0], [1.0, 2.0])
