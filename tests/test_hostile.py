"""Hostile inputs, each read in a child process under an address-space limit and a time limit:
a regression then fails the test instead of taking the machine down. Every case must end
quickly with its own message (or, for random bytes, with a result or a ValueError).

The child is this file run as a script with the case name; it builds the input itself, so
hundreds of megabytes never travel through a pipe.
"""

import json
import os
import pathlib
import random
import resource
import struct
import subprocess
import sys
import zlib

import pytest

from builders import gsas, raw3, raw3_range, raw4, raw4_range

ADDRESS_SPACE = 1536 << 20  # 1.5 GiB: the 256 MiB member limit plus growth, far below a bomb
HANG_GUARD = 300  # seconds; generous for a loaded machine, short of a hang
HUGE = 10**18


# --- builders -------------------------------------------------------------------------------

def declared_zip(members):
    """A ZIP archive from (name, deflated bytes, CRC-32, inflated size) without inflating
    anything here: the sizes are declared, the data is given already compressed."""
    local, central = bytearray(), bytearray()
    for name, data, crc, size in members:
        name = name.encode()
        offset = len(local)
        fields = struct.pack("<HHHHHIII", 20, 0, 8, 0, 0x21, crc, len(data), size)
        local += b"PK\x03\x04" + fields + struct.pack("<HH", len(name), 0) + name + data
        central += (b"PK\x01\x02" + struct.pack("<H", 20) + fields
                    + struct.pack("<HHHHHII", len(name), 0, 0, 0, 0, 0, offset) + name)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members),
                      len(central), len(local), 0)
    return bytes(local + central + end)


def gibibyte_of_zeros():
    """Deflated 2**30 zero bytes (about 1 MiB: deflate cannot do better than 1032:1), built
    from one flushed 1 MiB piece repeated, and the CRC-32 of that content."""
    squeeze = zlib.compressobj(9, zlib.DEFLATED, -15)
    piece = squeeze.compress(bytes(1 << 20)) + squeeze.flush(zlib.Z_FULL_FLUSH)
    return piece * 1024 + squeeze.flush(), 0x5B64C2B0


def zip_bomb(member_name):
    data, crc = gibibyte_of_zeros()
    return declared_zip([(member_name, data, crc, 1 << 30)])


def repeated_member(head, piece, tail, size):
    """head + `piece` repeated to about `size` bytes + tail, deflated with the repeated part
    compressed only once, and its CRC-32 and inflated size."""
    squeeze = zlib.compressobj(9, zlib.DEFLATED, -15)
    block = piece * ((1 << 20) // len(piece))
    count = size // len(block)
    data = squeeze.compress(head) + squeeze.flush(zlib.Z_FULL_FLUSH)
    data += (squeeze.compress(block) + squeeze.flush(zlib.Z_FULL_FLUSH)) * count
    data += squeeze.compress(tail) + squeeze.flush()
    crc = zlib.crc32(head)
    for _ in range(count):
        crc = zlib.crc32(block, crc)
    return data, zlib.crc32(tail, crc), len(head) + len(block) * count + len(tail)


def brml_with_raw_data(head, piece, tail, size=255 << 20):
    """A BRML whose raw-data member inflates to about `size` bytes, mostly `piece`."""
    container = (b"<DataContainer><RawDataReferenceList><string>RawData0.xml</string>"
                 b"</RawDataReferenceList></DataContainer>")
    squeeze = zlib.compressobj(9, zlib.DEFLATED, -15)
    packed = squeeze.compress(container) + squeeze.flush()
    data, crc, inflated = repeated_member(head, piece, tail, size)
    return zip_archive([("DataContainer.xml", packed, zlib.crc32(container), len(container)),
                        ("RawData0.xml", data, crc, inflated)])


def billion_laughs(reference_in_attribute):
    entities = ['<!ENTITY lol0 "lol">'] + [
        f'<!ENTITY lol{i} "{f"&lol{i - 1};" * 10}">' for i in range(1, 10)]
    default = '<!ATTLIST xrdMeasurements a CDATA "&lol9;">' if reference_in_attribute else ""
    body = "" if reference_in_attribute else "&lol9;"
    return (f'<?xml version="1.0"?>\n<!DOCTYPE xrdMeasurements [{"".join(entities)}{default}]>\n'
            f"<xrdMeasurements>{body}</xrdMeasurements>").encode()


def nested(depth):
    return b"<xrdMeasurements>" + b"<a>" * depth + b"</a>" * depth + b"</xrdMeasurements>"


def raw3_declaring(points):
    return raw3(raw3_range(ys=(), start=10.0, step=0.02, count=points), tail=bytes(400))


def raw4_declaring(points, record_size):
    head = raw4_range(ys=(), start=10.0, step=0.02, count=points, record_size=record_size)
    return raw4(head) + bytes(400)


def gsas_declaring(channels, record):
    rows = {"STD": ["       1       2       3       4"],
            "ESD": ["       1       1       2       1"],
            "FXYE": ["1000 1 1", "1005 2 1"]}[record]
    return gsas(f"BANK 1 {channels} 1 CONST 1000 5 0 0 {record}", *rows)


def ras_declaring(points):
    return (f"*RAS_HEADER_START\n*MEAS_DATA_COUNT \"{points}\"\n*RAS_HEADER_END\n"
            "*RAS_INT_START\n10 1\n11 2\n*RAS_INT_END\n").encode()


def chi_declaring(points):
    return f"title\n2-Theta Angle (Degrees)\nIntensity\n{points}\n 1 2\n 2 3\n 3 4\n".encode()


# Each case: input builder, file-name hint, index, expected (exception type, message) or the
# expected (x, y) of a read that succeeds.
CASES = {
    "zip_bomb_brml": (lambda: zip_bomb("Experiment0/DataContainer.xml"), "bomb.brml", 0,
                      ("ValueError", "Parse error: archive pattern member exceeds 256 MiB")),
    "zip_bomb_rasx": (lambda: zip_bomb("root.xml"), "bomb.rasx", 0,
                      ("ValueError", "Parse error: archive pattern member exceeds 256 MiB")),
    "billion_laughs_text": (lambda: billion_laughs(False), "lol.xrdml", 0,
                            ("ValueError", "Parse error: XML document type declarations are not supported")),
    "billion_laughs_text_no_hint": (lambda: billion_laughs(False), "", 0,
                                    ("ValueError", "Parse error: XML document type declarations are not supported")),
    "billion_laughs_attribute": (lambda: billion_laughs(True), "lol.xrdml", 0,
                                 ("ValueError", "Parse error: XML document type declarations are not supported")),
    "brml_256mb_of_empty_elements": (
        lambda: brml_with_raw_data(b"<D>", b"<a/>", b"</D>"), "x.brml", 0,
        ("ValueError", "Parse error: XML document has more than 1048576 elements")),
    "brml_256mb_of_attributes": (
        lambda: brml_with_raw_data(b"<D>", b'<a b="" c="" d="" e=""/>', b"</D>"), "x.brml", 0,
        ("ValueError", "Parse error: XML document has more than 1048576 attributes")),
    "brml_256mb_of_datum_rows": (
        lambda: brml_with_raw_data(b"<D><DataRoute>", b"<Datum>1,2</Datum>", b"</DataRoute></D>",
                                   16 << 20), "x.brml", 0,
        ("ValueError", "Parse error: BRML has no varying TwoTheta column")),
    "brml_256mb_of_text": (
        lambda: brml_with_raw_data(b"<D>", b"x" * 64, b"</D>"), "x.brml", 0,
        ("ValueError", "Parse error: BRML requires one unambiguous measured data route")),
    "brml_deep_nesting_of_texts": (
        lambda: brml_with_raw_data(b"<D>" * 128, b"x&amp;" * 16, b"</D>" * 128, 64 << 20), "x.brml", 0,
        ("ValueError", "Parse error: BRML requires one unambiguous measured data route")),
    "cif_100mb_of_one_character_values": (
        lambda: b"data_x\nloop_\n_pd_meas_2theta_scan\n_pd_meas_counts_total\n" + b"1 " * 50_000_000,
        "big.cif", 0, ("ValueError", "Parse error: x values must be finite and strictly increasing")),
    "cif_100mb_of_one_character_tokens": (
        lambda: b"data_x\n" + b"_ 1 " * 25_000_000 + b"1 " * 1000, "big.cif", 0,
        ("ValueError", 'Parse error: pdCIF: unexpected token "1"')),
    "nested_100k": (lambda: nested(100_000), "deep.xrdml", 0,
                    ("ValueError", "Parse error: XML nesting exceeds 128 elements")),
    "nested_100k_no_hint": (lambda: nested(100_000), "", 0,
                            ("ValueError", "Parse error: XML nesting exceeds 128 elements")),
    "raw3_max_points": (lambda: raw3_declaring(2**32 - 1), "big.raw", 0,
                        ("ValueError", "Parse error: Bruker RAW: truncated record at offset 1016: "
                                       "needs 17179869180 bytes, file has 1416")),
    "raw4_max_points": (lambda: raw4_declaring(2**32 - 1, 4), "big.raw", 0,
                        ("ValueError", "Parse error: Bruker RAW: truncated record at offset 221: "
                                       "needs 17179869180 bytes, file has 621")),
    "raw4_max_points_and_records": (lambda: raw4_declaring(2**32 - 1, 2**32 - 4), "big.raw", 0,
                                    ("ValueError", "Parse error: Bruker RAW: truncated record at offset 221: "
                                                   "needs 18446744052234715140 bytes, file has 621")),
    "gsas_std_huge_bank": (lambda: gsas_declaring(HUGE, "STD"), "big.gsa", 0,
                           ("ValueError", f"Parse error: GSAS STD: data is shorter than the declared {HUGE} channels")),
    "gsas_esd_huge_bank": (lambda: gsas_declaring(HUGE, "ESD"), "big.gsa", 0,
                           ("ValueError", f"Parse error: GSAS ESD: data is shorter than the declared {HUGE} channels")),
    "gsas_fxye_huge_bank": (lambda: gsas_declaring(HUGE, "FXYE"), "big.fxye", 0,
                            ("ValueError", f"Parse error: GSAS FXYE: BANK declares {HUGE} points but 2 were read")),
    "ras_huge_count": (lambda: ras_declaring(HUGE), "big.ras", 0,
                       ("ValueError", "Parse error: RAS: declared point count disagrees with intensity block")),
    "chi_huge_count": (lambda: chi_declaring(HUGE), "big.chi", 0,
                       ("ValueError", f"Parse error: CHI: header declares {HUGE} points but 3 were read")),
    "xy_200mb_line_of_letters": (lambda: b"a" * 200_000_000, "big.xy", 0,
                                 ("ValueError", "Parse error: ASCII: no complete x/y pattern found")),
    "xy_200mb_line_of_fields": (lambda: b"1 2 " * 50_000_000, "big.xy", 0, ([1.0], [2.0])),
    "xy_200mb_number": (lambda: b"1" * 200_000_000, "big.xy", 0,
                        ("ValueError", "Parse error: ASCII: no complete x/y pattern found")),
    "xy_200mb_of_blank_lines": (lambda: b"\n" * 200_000_000, "big.xy", 0,
                                ("ValueError", "Parse error: ASCII: no complete x/y pattern found")),
}


# Random bytes go under every hint the dispatcher distinguishes, bare and behind each binary
# signature and text marker that steers detection.
HINTS = ["", "r.xy", "r.raw", "r.ras", "r.uxd", "r.gsa", "r.gda", "r.xra", "r.gsas", "r.fxye",
         "r.cif", "r.chi", "r.dif", "r.rasx", "r.brml", "r.xrdml", "r.txt"]
PREFIXES = [b"", b"RAW1.01", b"RAW4.00", b"RAW2", b"RAW \x00", b"PK\x03\x04", b"PK\x05\x06",
            b"\xff\xfe", b"\xfe\xff", b"<xrdMeasurements>", b"*RAS_HEADER_START\n",
            b"data_x\n_pd_", b"BANK 1 ", b"_DRIVE=", b"t\n2theta\nI\n3\n"]


def random_inputs(hint):
    rng = random.Random(f"vorlen hostile {hint}")
    for prefix in PREFIXES:
        for _ in range(20):
            yield prefix + rng.randbytes(rng.choice((1, 7, 64, 700, 4096)))


# --- the child ------------------------------------------------------------------------------

def outcome(call):
    try:
        pattern = call()
    except Exception as error:  # the type is part of the outcome
        return [type(error).__name__, str(error)]
    return [pattern.x, pattern.y]


def run_case(name):
    import vorlen
    if name.startswith("random:"):
        hint = name.removeprefix("random:")
        kinds = set()
        for data in random_inputs(hint):
            result = outcome(lambda: vorlen.read_bytes(data, hint))
            kinds.add("ValueError" if result[0] == "ValueError" else
                      "Pattern" if isinstance(result[0], list) else result[0])
        return sorted(kinds)
    build, hint, index, _ = CASES[name]
    data = build()
    return outcome(lambda: vorlen.read_bytes(data, hint, index=index))


# --- the tests ------------------------------------------------------------------------------

def limit_address_space():
    resource.setrlimit(resource.RLIMIT_AS, (ADDRESS_SPACE, ADDRESS_SPACE))


def in_child(name):
    import vorlen
    env = dict(os.environ)
    # vorlen is the package directory vorlen/, so the path entry is the directory above it.
    import_dir = str(pathlib.Path(vorlen.__file__).resolve().parents[1])
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [import_dir, env.get("PYTHONPATH")]))
    done = subprocess.run([sys.executable, __file__, name], capture_output=True, text=True,
                          env=env, preexec_fn=limit_address_space, timeout=HANG_GUARD)
    assert done.returncode == 0, f"child died ({done.returncode}): {done.stderr[-2000:]}"
    return json.loads(done.stdout)


@pytest.mark.parametrize("name", list(CASES))
def test_hostile_input_fails_fast_with_its_message(name):
    expected = list(CASES[name][3])
    assert in_child(name) == expected


@pytest.mark.parametrize("hint", HINTS)
def test_random_bytes_give_a_result_or_a_value_error(hint):
    assert set(in_child("random:" + hint)) <= {"Pattern", "ValueError"}


if __name__ == "__main__":
    print(json.dumps(run_case(sys.argv[1])))
