"""Bruker RAW versions 3 and 4 through vorlen.read_bytes.

raw3() and raw4() assemble files field by field from defaults that read cleanly, so each test
states only the field it changes.
"""

import math
import struct

import pytest

import vorlen
from builders import raw3, raw4
from builders import raw3_range as range3
from builders import raw4_drive as drive
from builders import raw4_range as range4
from builders import raw4_segment as segment
from builders import raw_record as record

PREFIX = "Parse error: Bruker RAW: "


def short_id(value):
    """Test ids name the expected text, not the (long) file bytes."""
    return "file" if isinstance(value, bytes) else None


def read(data, index=0):
    return vorlen.read_bytes(data, "scan.raw", index=index)


def refused(data, index=0):
    with pytest.raises(ValueError) as info:
        read(data, index)
    message = str(info.value)
    assert message.startswith(PREFIX)
    return message[len(PREFIX):]


# Real files


@pytest.mark.parametrize("name, index, count, first, last, head_y", [
    ("xylib__BT86.raw", 0, 2374, 3.0, 40.0002906, [187.0, 183.0, 178.0]),
    ("nomad__test_sample.raw", 0, 7134, 10.0, 85.04129916243255, [0.0, 43.357906341552734]),
    ("xylib__format1.raw", 0, 101, 10.0, 20.0, [10.0, 1.0, 3.0]),
    ("xylib__format1.raw", 1, 26, 30.0, 35.0, [6.0, 4.0, 5.0]),
    ("xylib__format1.raw", 2, 51, 40.0, 45.0, [4.0, 5.0, 3.0]),
])
def test_real_files(corpus, name, index, count, first, last, head_y):
    pattern = vorlen.read(str(corpus / "raw" / name), index=index)
    assert len(pattern.x) == len(pattern.y) == count
    assert pattern.x[0] == first
    assert pattern.x[-1] == pytest.approx(last, abs=1e-12)
    assert pattern.y[:len(head_y)] == head_y


def test_real_files_refused(corpus):
    data = (corpus / "raw" / "xylib__format1.raw").read_bytes()
    assert refused(data, 3) == "scan 3 is out of range; file has 3 scans"
    data = (corpus / "raw" / "pyxrd__brk_raw2.raw").read_bytes()
    assert refused(data) == "versions 1 and 2 are unsupported; export RAW3, RAW4, UXD, or XY"


# Points


def test_angles_from_start_and_step_and_exact_intensities():
    y = [0.1, 3.4028234663852886e38, -2.5]
    pattern = read(raw3(range3(ys=y, start=10.0, step=0.3)))
    assert pattern.x == [i * 0.3 + 10.0 for i in range(3)]
    assert pattern.y == [struct.unpack("<f", struct.pack("<f", v))[0] for v in y]


def test_angles_from_records():
    pattern = read(raw3(range3(bits=0x1, angles=[5.0, 5.25, 7.0])))
    assert pattern.x == [5.0, 5.25, 7.0]


@pytest.mark.parametrize("build", [lambda step: raw3(range3(step=step)),
                                   lambda step: raw4(range4(step=step))])
def test_negative_step_is_returned_ascending(build):
    pattern = read(build(-0.5))
    assert pattern.x == [9.0, 9.5, 10.0]
    assert pattern.y == [3.0, 2.0, 1.0]


@pytest.mark.parametrize("data, index, message", ids=short_id, argvalues=[
    (raw3(range3(), range3(start=20.0)), 2, "scan 2 is out of range; file has 2 scans"),
    (raw4(range4(), range4(start=20.0)), 5, "scan 5 is out of range; file has 2 scans"),
    (raw3(range3(ys=[1.0, math.nan])), 0, "nonfinite angle or intensity in point 1"),
    (raw3(range3(bits=0x1, angles=[1.0, math.inf, 3.0])), 0,
     "nonfinite angle or intensity in point 1"),
    (raw3(range3(start=1e308, step=1e308)), 0, "nonfinite angle or intensity in point 1"),
    (raw4(range4(ys=[math.inf])), 0, "nonfinite angle or intensity in point 0"),
    # The first bad point is named, however many follow.
    (raw4(range4(ys=[1.0] * 37 + [-math.inf, math.nan] + [2.0] * 5)), 0,
     "nonfinite angle or intensity in point 37"),
])
def test_selection_and_point_failures(data, index, message):
    assert refused(data, index) == message


def test_ranges_are_selected_in_file_order():
    data = raw4(segment(10, b"meta"), range4(), segment(30), range4(start=20.0, ys=[7.0]))
    assert read(data, 1).x == [20.0]
    assert read(raw3(range3(), range3(start=30.0, ys=[4.0])), 1).y == [4.0]


# Version 3 walk


def test_scan_type_problem_is_deferred_to_its_range():
    data = raw3(range3(), range3(start=30.0, scan_type=5))
    assert read(data, 0).x == [10.0, 10.5, 11.0]
    assert refused(data, 1) == "RAW3 scan type 5 does not establish a 2theta axis"


@pytest.mark.parametrize("scan_type", [0, 1, 2, 20])
def test_2theta_scan_types(scan_type):
    assert len(read(raw3(range3(scan_type=scan_type))).x) == 3


@pytest.mark.parametrize("data, message", ids=short_id, argvalues=[
    (raw3(count=0), "invalid RAW3 range count 0"),
    (raw3(count=4097), "invalid RAW3 range count 4097"),
    (raw3(range3(header_size=259)), "invalid RAW3 range-header size 259"),
    (raw3(range3(header_size=1048577)), "invalid RAW3 range-header size 1048577"),
    (raw3(range3(step=0.0)), "range start and nonzero step must be finite"),
    (raw3(range3(step=-0.0)), "range start and nonzero step must be finite"),
    (raw3(range3(start=math.nan)), "range start and nonzero step must be finite"),
    (raw3(range3(step=math.inf)), "range start and nonzero step must be finite"),
    (raw3(range3(bits=0x3, record_size=12)),
     "RAW3 data-record size 12 disagrees with varying-parameter bits 0x3 (expected 20)"),
    (raw3(range3(bits=0x80000000, record_size=12)),
     "RAW3 data-record size 12 disagrees with varying-parameter bits 0x80000000 (expected 12)"),
    (raw3(range3(record_size=8)),
     "RAW3 data-record size 8 disagrees with varying-parameter bits 0x0 (expected 4)"),
    (raw3(range3()[:200]), "truncated record at offset 712: needs 304 bytes, file has 912"),
    (raw3(range3(extra=b"x" * 40)[:350]),
     "truncated record at offset 1056: needs 12 bytes, file has 1062"),
    (raw3(range3(ys=[], count=0)), "range has no points"),
    (raw3(range3(), count=2), "truncated record at offset 1028: needs 4 bytes, file has 1028"),
    (raw3(range3(), tail=b"\0\0\x01"), "unaccounted nonzero bytes after the declared RAW3 ranges"),
    (b"RAW1.01" + bytes(100), "truncated record at offset 0: needs 712 bytes, file has 107"),
])
def test_raw3_walk_failures(data, message):
    assert refused(data) == message


def test_raw3_failure_anywhere_refuses_every_index():
    data = raw3(range3(), range3(step=0.0))
    assert refused(data, 0) == "range start and nonzero step must be finite"


def test_raw3_extra_record_and_zero_tail_are_skipped():
    data = raw3(range3(extra=b"\xff" * 40, ys=[6.0]), tail=bytes(9))
    assert read(data).y == [6.0]


def test_raw3_extra_record_limit():
    head = bytearray(range3())
    struct.pack_into("<I", head, 256, 1048577)
    assert refused(raw3(bytes(head))) == "invalid RAW3 extra-record length"


# Version 4 walk and axis decision


@pytest.mark.parametrize("drives, scan_type", [
    ([drive("2-Theta")], "Omega Scan"),
    ([drive(" TwoTheta ")], "Omega Scan"),
    ([drive("Theta", scanned=0), drive("2Theta", start=20.0), drive("2Theta")], "Whatever"),
    ([drive("2Theta"), drive("Theta")], "Locked Coupled"),
    ([drive("2Theta"), drive("Theta")], "Detector Scan"),
    ([], "unlocked_coupled"),
    ([], "UnlockedCoupled-HRXRD"),
])
def test_raw4_axis_accepted(drives, scan_type):
    assert read(raw4(range4(drives=drives, scan_type=scan_type))).x == [10.0, 10.5, 11.0]


@pytest.mark.parametrize("drives, scan_type, message", [
    ([drive("Theta")], "Locked Coupled", 'scanned drive "Theta" is not a recognized 2theta axis'),
    ([drive("Phi\\\x01")], "Locked Coupled",
     'scanned drive "Phi\\\\\\u{1}" is not a recognized 2theta axis'),
    ([drive("2Theta"), drive("Theta")], "Omega Scan",
     'scan type "Omega Scan" does not establish a 2theta axis; export a coupled 2theta scan'),
    ([drive("2Theta", scanned=0)], 'Rocking "\xe9"',
     'scan type "Rocking \\"\xe9\\"" does not establish a 2theta axis; '
     'export a coupled 2theta scan'),
])
def test_raw4_axis_refused_on_selection(drives, scan_type, message):
    data = raw4(range4(), range4(start=10.0, drives=drives, scan_type=scan_type))
    assert read(data, 0).x == [10.0, 10.5, 11.0]
    assert refused(data, 1) == message


@pytest.mark.parametrize("drive_start, matches", [(20.0002, True), (20.0003, False)])
def test_raw4_drive_start_tolerance(drive_start, matches):
    data = raw4(range4(start=20.0, scan_type="Omega Scan", drives=[drive("2Theta", drive_start)]))
    if matches:
        assert read(data).x[0] == 20.0
    else:
        assert refused(data).startswith('scan type "Omega Scan"')


def test_raw4_generic_segments_and_zero_marker():
    data = raw4(segment(10, b"x" * 41), range4(marker=0, record_size=8, ys=[2.0]))
    assert read(data).y == [2.0]


def head61():
    return b"RAW4.00".ljust(61, b"\0")


@pytest.mark.parametrize("data, message", ids=short_id, argvalues=[
    (head61(), "RAW4 file has no measurement ranges"),
    (head61() + segment(10, b"abc"), "RAW4 file has no measurement ranges"),
    (head61()[:60], "truncated record at offset 0: needs 61 bytes, file has 60"),
    (head61() + b"\x0a\0", "truncated record at offset 61: needs 4 bytes, file has 63"),
    (head61() + segment(10)[:6] + b"\0", "truncated segment header"),
    (head61() + segment(10, length=7), "segment type 10 at offset 61 declares invalid length 7"),
    (head61() + segment(10, length=9), "segment type 10 at offset 61 declares invalid length 9"),
    (raw4(range4()[:100]), "truncated record at offset 61: needs 160 bytes, file has 161"),
    (raw4(range4(record_size=6)), "invalid RAW4 data-record size 6"),
    (raw4(range4(ys=[], count=1, record_size=0)), "invalid RAW4 data-record size 0"),
    (raw4(range4(step=0.0)), "range start and nonzero step must be finite"),
    (raw4(range4(ys=[], count=0)), "range has no points"),
    (raw4(range4(count=4)), "truncated record at offset 221: needs 16 bytes, file has 233"),
    (raw4(range4(drives=[drive("2Theta", size=60)])),
     "RAW4 drive record is shorter than 64 bytes"),
    (raw4(range4(drives=[segment(7)[:5]])), "truncated segment header"),
    (raw4(range4(drives=[segment(7, b"abcd")[:10]])),
     "segment type 7 at offset 221 declares invalid length 12"),
    (raw4(range4(drives=[segment(110, length=64)])),
     "segment type 110 at offset 221 declares invalid length 64"),
])
def test_raw4_walk_failures(data, message):
    assert refused(data) == message


@pytest.mark.parametrize("size, message", [
    (1048577, "RAW4 drive header exceeds 1 MiB"),
    (1000, "truncated record at offset 221: needs 1000 bytes, file has 233"),
])
def test_raw4_drive_header_size(size, message):
    block = bytearray(range4())
    struct.pack_into("<I", block, 140, size)
    assert refused(raw4(bytes(block))) == message


def test_raw4_too_many_ranges():
    one = range4(ys=[1.0])
    assert len(read(raw4(*[one] * 4096), 4095).x) == 1
    assert refused(raw4(*[one] * 4097)) == "too many RAW4 ranges"


# Signatures


@pytest.mark.parametrize("data", [b"RAW2", b"RAW2" + bytes(800), b"RAW \0\0\0\0"],
                         ids=["RAW2", "RAW2 long", "RAW space"])
def test_old_versions_refused(data):
    assert refused(data) == "versions 1 and 2 are unsupported; export RAW3, RAW4, UXD, or XY"
