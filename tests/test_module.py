"""The Python surface of vorlen: attributes, signatures, argument rules, error mapping."""
import collections.abc
import errno
import inspect
import os
import pathlib

import pytest

import vorlen

XY = b"10 1\n20 2\n30 3\n"


def test_module_attributes():
    assert vorlen.__version__ == "1.0.0"
    assert vorlen.__all__ == ["Pattern", "__version__", "read", "read_bytes"]
    assert vorlen.__doc__ == ""
    public = {name for name in dir(vorlen) if not name.startswith("_")}
    assert public == {"Pattern", "read", "read_bytes"}


@pytest.mark.parametrize(
    "obj, signature, doc",
    [
        (vorlen.read, "(path, *, index=0, block=None)",
         "Load one XRD pattern as x (2theta degrees) and y (intensity)."),
        (vorlen.read_bytes, "(data, filename, *, index=0, block=None)",
         "Load bytes using content detection and a filename hint."),
        (vorlen.Pattern, "(x, y)",
         "One diffraction pattern. Extra file columns are deliberately not returned."),
    ],
)
def test_docstrings_and_signatures(obj, signature, doc):
    assert obj.__text_signature__ == signature
    assert obj.__doc__ == doc
    assert str(inspect.signature(obj)) == signature


def test_property_docstrings():
    assert vorlen.Pattern.x.__doc__ == "Diffraction angle 2\u03b8, in degrees, strictly increasing."
    assert vorlen.Pattern.y.__doc__ == "Intensity in the file's units (counts or counts per second)."


def test_pattern_type_is_final_and_read_only():
    with pytest.raises(TypeError):
        type("Sub", (vorlen.Pattern,), {})
    p = vorlen.Pattern([1.0, 2.0], [3.0, 4.0])
    with pytest.raises(AttributeError):
        p.x = [5.0]
    with pytest.raises(TypeError):
        vorlen.Pattern.extra = 1


def test_properties_are_fresh_lists():
    p = vorlen.Pattern([1.0, 2.0], [3.0, 4.0])
    first = p.x
    assert first == [1.0, 2.0] and type(first[0]) is float
    first.append(9.0)
    assert p.x == [1.0, 2.0]
    assert p.x is not p.x


class SequenceOnly(collections.abc.Sequence):
    def __len__(self):
        return 2

    def __getitem__(self, i):
        if i >= 2:
            raise IndexError
        return (1, 2)[i]


class Floaty:
    def __float__(self):
        return 7.5


@pytest.mark.parametrize(
    "x, y, expected_x",
    [
        ([1.0, 2.0], [3.0, 4.0], [1.0, 2.0]),
        ((1, 2), (3, 4), [1.0, 2.0]),
        (range(1, 3), [True, False], [1.0, 2.0]),
        (SequenceOnly(), [0, 0], [1.0, 2.0]),
        ([Floaty()], [1], [7.5]),
    ],
)
def test_constructor_accepts_sequences_of_numbers(x, y, expected_x):
    assert vorlen.Pattern(x, y).x == expected_x


def test_constructor_keywords():
    assert vorlen.Pattern(x=[1.0], y=[2.0]).y == [2.0]


@pytest.mark.parametrize(
    "x, y, name",
    [
        ("ab", [1, 2], "x"),
        ([1, 2], "ab", "y"),
        ({1, 2}, [1, 2], "x"),
        ([1, "a"], [1, 2], "x"),
        ([1, 2], [1, None], "y"),
        (5, [1], "x"),
    ],
)
def test_constructor_type_errors_name_the_argument(x, y, name):
    with pytest.raises(TypeError, match=f"'{name}'"):
        vorlen.Pattern(x, y)


@pytest.mark.parametrize(
    "x, y, message",
    [
        ([1, 2], [1], "Parse error: x and y must have the same length"),
        ([], [], "Parse error: pattern contains no points"),
        ([3, 2, 1], [1, 2, 3], "Parse error: x values must be finite and strictly increasing"),
        ([1, float("nan")], [1, 2], "Parse error: x values must be finite and strictly increasing"),
        ([1, 2], [1, float("inf")], "Parse error: y values must be finite"),
    ],
)
def test_constructor_validation(x, y, message):
    with pytest.raises(ValueError) as caught:
        vorlen.Pattern(x, y)
    assert str(caught.value) == message


@pytest.mark.parametrize(
    "call",
    [
        lambda: vorlen.Pattern([1]),
        lambda: vorlen.Pattern([1], [1], [1]),
        lambda: vorlen.read(),
        lambda: vorlen.read("a.xy", 1),  # index is keyword-only
        lambda: vorlen.read("a.xy", indx=1),
        lambda: vorlen.read_bytes(XY),
        lambda: vorlen.read_bytes(XY, "a.xy", data=XY),
    ],
)
def test_argument_count_errors(call):
    with pytest.raises(TypeError):
        call()


@pytest.mark.parametrize(
    "call, name",
    [
        (lambda: vorlen.read(b"a.xy"), "path"),
        (lambda: vorlen.read(pathlib.Path("a.xy")), "path"),
        (lambda: vorlen.read("a.xy", index=1.0), "index"),
        (lambda: vorlen.read("a.xy", index="1"), "index"),
        (lambda: vorlen.read("a.xy", block=b"x"), "block"),
        (lambda: vorlen.read_bytes(bytearray(XY), "a.xy"), "data"),
        (lambda: vorlen.read_bytes(memoryview(XY), "a.xy"), "data"),
        (lambda: vorlen.read_bytes(XY, None), "filename"),
        (lambda: vorlen.read_bytes(XY, "a.xy", block=3), "block"),
    ],
)
def test_argument_type_errors_name_the_argument(call, name):
    with pytest.raises(TypeError, match=f"'{name}'"):
        call()


@pytest.mark.parametrize("index", [-1, 2**64])
def test_index_out_of_unsigned_range_is_overflow(index):
    with pytest.raises(OverflowError):
        vorlen.read_bytes(XY, "a.xy", index=index)


def test_conversion_order_path_before_index():
    with pytest.raises(TypeError, match="'path'"):
        vorlen.read(1, index="x")
    with pytest.raises(TypeError, match="'data'"):
        vorlen.read_bytes(None, None, index="x")


def test_index_accepts_index_protocol():
    class Zero:
        def __index__(self):
            return 0

    assert vorlen.read_bytes(XY, "a.xy", index=Zero()).x == [10.0, 20.0, 30.0]
    assert vorlen.read_bytes(XY, "a.xy", index=True and 0, block=None).y == [1.0, 2.0, 3.0]


def test_bytes_subclass_is_accepted():
    class Data(bytes):
        pass

    assert vorlen.read_bytes(Data(XY), "a.xy").x == [10.0, 20.0, 30.0]


def test_read_missing_file_is_plain_oserror(tmp_path):
    missing = tmp_path / "missing.xy"
    with pytest.raises(OSError) as caught:
        vorlen.read(str(missing))
    assert type(caught.value) is OSError
    assert caught.value.errno is None and caught.value.filename is None
    assert str(caught.value) == f"{os.strerror(errno.ENOENT)} (os error 2)"


def test_read_directory_is_oserror(tmp_path):
    with pytest.raises(OSError, match=r"\(os error 21\)"):
        vorlen.read(str(tmp_path))


def test_path_with_nul_is_refused(tmp_path):
    good = tmp_path / "a.xy"
    good.write_bytes(XY)
    with pytest.raises(OSError, match="NUL"):
        vorlen.read(str(good) + "\0.ignored")


def test_read_file_and_bytes_agree(tmp_path):
    path = tmp_path / "scan.xy"
    path.write_bytes(XY)
    from_file = vorlen.read(str(path))
    from_bytes = vorlen.read_bytes(XY, "scan.xy")
    assert (from_file.x, from_file.y) == (from_bytes.x, from_bytes.y)


@pytest.mark.parametrize(
    "data, name, message",
    [
        (b"", "a.xy", "Parse error: ASCII: no complete x/y pattern found"),
        (XY, "a.xy", None),
        (b"\x00\x01\x02\x03", "a.xy", "Unknown format"),
        (b"PK\x05\x06" + bytes(18), "a.zip", "Unknown format"),
        (b"PK\x03\x04garbage", "a.zip", "Zip error: "),
        (b"10 1\n20 2\n", "a.rasx", "Parse error: rasx is not a readable ZIP archive"),
        (b"10 1\n20 2\n", "A.BRML", "Parse error: brml is not a readable ZIP archive"),
    ],
)
def test_error_mapping(data, name, message):
    if message is None:
        vorlen.read_bytes(data, name)
        return
    with pytest.raises(ValueError) as caught:
        vorlen.read_bytes(data, name)
    assert type(caught.value) is ValueError
    assert str(caught.value).startswith(message)


def test_single_pattern_formats_refuse_other_indexes():
    with pytest.raises(ValueError, match="^Parse error: this format has one pattern; index must be 0$"):
        vorlen.read_bytes(XY, "a.xy", index=1)


def test_replacing_the_pattern_attribute_cannot_corrupt_memory(monkeypatch):
    monkeypatch.setattr(vorlen, "Pattern", int)
    with pytest.raises(TypeError, match="replaced"):
        vorlen.read_bytes(XY, "a.xy")
