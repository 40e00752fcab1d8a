"""Plain two-column text, end to end through read_bytes."""
import pytest

import vorlen

NO_PATTERN = "Parse error: ASCII: no complete x/y pattern found"


def read(data, name="scan.xy"):
    p = vorlen.read_bytes(data if isinstance(data, bytes) else data.encode(), name)
    return p.x, p.y


@pytest.mark.parametrize(
    "text, x, y",
    [
        ("10 1\n20 2\n", [10, 20], [1, 2]),
        ("2theta intensity\n10 1\n20 2\n", [10, 20], [1, 2]),  # heading skipped
        ("10,1\n20 , 2\n", [10, 20], [1, 2]),  # commas separate
        ("10;1\n20 2\n30 3\n", [20, 30], [2, 3]),  # a semicolon makes one field: skipped
        ("10 1 0.5 9\n20 2 0.5 9\n", [10, 20], [1, 2]),  # extra columns ignored
        ("10 1.0D+01\n20 2\n30 3\n", [20, 30], [2, 3]),  # D exponents are not numbers here
        ("# c\n; c\n! c\n' c\n/ c\n10 1\n", [10], [1]),  # comment markers
        ("\ufeff# header\n\ufeff\ufeff10 1\n", [10], [1]),  # byte-order marks at line starts
        ("10 1\r\n20 2\r\n", [10, 20], [1, 2]),
        ("  10\t1  \n\n   \n20 2", [10, 20], [1, 2]),
        ("30 3\n20 2\n10 1\n", [10, 20, 30], [1, 2, 3]),  # descending data is turned round
        ("inf word\n10 1\n", [10], [1]),  # a refused field skips the row before the finite test
        ("10 1\n20 -5e-3\n", [10, 20], [1, -0.005]),
        ("+.5 5.\n", [0.5], [5.0]),
        ("10\u00a01\n", [10], [1]),  # no-break space separates fields
    ],
)
def test_reads_rows(text, x, y):
    assert read(text) == (x, y)


@pytest.mark.parametrize(
    "data, message",
    [
        (b"", NO_PATTERN),
        (b"# only a comment\ntitle\n", NO_PATTERN),
        (b"10\n20\n", NO_PATTERN),
        (b"10 1\ninf 2\n", "Parse error: ASCII pattern contains a non-finite value"),
        (b"10 1\n20 NaN\n", "Parse error: ASCII pattern contains a non-finite value"),
        (b"10 1\n1e999 2\n", "Parse error: ASCII pattern contains a non-finite value"),
        (b"10 1\n20 2\n20 3\n", "Parse error: x values must be finite and strictly increasing"),
    ],
)
def test_refusals(data, message):
    with pytest.raises(ValueError) as caught:
        read(data)
    assert str(caught.value) == message


def test_nul_in_a_line_is_binary_data():
    # Beyond the 64 KiB head the dispatcher does not look for NUL; the reader does.
    data = b"10 1\n" * 14000 + b"# comment \x00\n"
    with pytest.raises(ValueError, match="^Parse error: Binary data supplied to an ASCII pattern reader$"):
        read(data)
    # Within the head, detection refuses the input before any reader runs.
    with pytest.raises(ValueError, match="^Unknown format$"):
        read(b"10 1\n\x00\n")


@pytest.mark.parametrize(
    "encoded",
    [
        "10 1\n20 2\n".encode("utf-16"),
        "\ufeff10 1\n20 2\n".encode("utf-16-be"),
        "\ufeff10 1\n20 2\n".encode("utf-8"),
    ],
)
def test_encodings(encoded):
    assert read(encoded) == ([10, 20], [1, 2])


def test_utf16_failures():
    with pytest.raises(ValueError, match="^Parse error: truncated UTF-16 text$"):
        read(b"\xff\xfe1")
    with pytest.raises(ValueError, match="^Parse error: invalid UTF-16 text$"):
        read(b"\xff\xfe\x00\xd8\x41\x00")


def test_latin1_header_is_tolerated():
    assert read(b"Temp\xe9rature 25\xb0C\n10 1\n") == ([10], [1])


@pytest.mark.parametrize(
    "name", ["scan.xy", "scan.dat", "scan.txt", "scan", ".xy", "DATA.XY", "scan.dif"]
)
def test_plain_data_under_other_names(name):
    assert read("10 1\n20 2\n", name) == ([10, 20], [1, 2])


@pytest.mark.parametrize(
    "text",
    [
        "1.0 2.0 3 4 5\n2.0 3.0 1 1 1\n3.0 4.0 0 0 2\n",
        "d 2theta h k l\n1.0 2.0\n2.0 3.0\n",
        "peak list\n2theta d H K L\n10 1\n",
    ],
)
def test_dif_reflection_lists_are_refused(text):
    with pytest.raises(ValueError, match="^Parse error: DIF reflection peak lists are not measured XRD profiles$"):
        read(text, "peaks.dif")
    read(text.replace("H K L", "h k").replace("h k l", "h k"), "peaks.xy")


def test_real_files(corpus):
    cases = {
        "xy/fityk__nacl01.dat": (840, 19.9143, 52.3751),
        "xy/dioptas__pattern_001.xy": (1400, 0.01589844, 44.49973),
        "xy/datalab__example_evadiffract.xy": (28, 5.0001, 5.2743),
    }
    for name, (count, first, last) in cases.items():
        p = vorlen.read(str(corpus / name))
        assert (len(p.x), p.x[0], p.x[-1]) == (count, first, last), name
