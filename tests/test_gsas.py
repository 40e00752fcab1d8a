import pytest
from hypothesis import given, settings, strategies as st

import vorlen
from builders import gsas
from builders import gsas_std_record as std_record


# (file, points, first x, last x, first y, last y)
CORPUS_FILES = [
    # The header declares 6001 channels; the last record holds channel 6001 (368) and nine
    # zeros of padding.
    ("g2tut__PBSO4.XRA", 6001, 10.0, 160.0, 179.0, 368.0),
    ("g2tut__Er2Ge2O7_2K.gss", 2459, 2.025, 124.92500000000001, 927.65, 194.06),
    ("g2tut__11bmb_8714.fxye", 49493, 0.5, 49.985431930000004, 142.728866, 36.695248),
]


@pytest.mark.parametrize("name, points, x0, x1, y0, y1", CORPUS_FILES)
def test_real_files(corpus, name, points, x0, x1, y0, y1):
    pattern = vorlen.read(str(corpus / "gsas" / name))
    x, y = pattern.x, pattern.y
    assert (len(x), len(y)) == (points, points)
    assert (x[0], x[-1], y[0], y[-1]) == (x0, x1, y0, y1)
    assert all(a < b for a, b in zip(x, x[1:]))


@pytest.mark.parametrize("index, message", [
    (0, "Parse error: GSAS: RALF binning does not provide a supported 2theta axis"),
    (3, "Parse error: GSAS: RALF binning does not provide a supported 2theta axis"),
    (4, "Parse error: GSAS: bank index 4 is out of range (4 banks)"),
])
def test_time_of_flight_file_is_refused(corpus, index, message):
    with pytest.raises(ValueError) as raised:
        vorlen.read(str(corpus / "gsas" / "g2tut__gem05984.gss"), index=index)
    assert str(raised.value) == message


def test_negative_step_is_returned_ascending():
    pattern = vorlen.read_bytes(gsas("BANK 1 3 1 CONS 1000 -5", "1 2 3"), "a.gsa")
    assert pattern.y == [3.0, 2.0, 1.0]
    assert pattern.x == [-2 * 0.05 + 10.0, -1 * 0.05 + 10.0, 10.0]


def test_counter_numbers_weight_values_and_never_repeat_them():
    # As GSAS writes STD banks: counter numbers in front of each value, the last record padded
    # with blank fields.
    values = list(range(101, 124))
    records = [std_record((1 + i % 20, v) for i, v in enumerate(values[:10])),
               std_record((20, v) for v in values[10:20]),
               std_record((7, v) for v in values[20:]).ljust(80)]
    pattern = vorlen.read_bytes(gsas("BANK 1 23 3 CONST 1000 5 0 0 STD", *records), "a.gsa")
    assert pattern.y == [float(v) for v in values]


@settings(max_examples=200, deadline=None)
@given(st.lists(st.tuples(st.integers(0, 99) | st.none(), st.integers(0, 999999)), min_size=1,
                max_size=45))
def test_fixed_std_records_read_every_value(fields):
    pairs = [("" if counter is None else counter, value) for counter, value in fields]
    records = [std_record(pairs[i:i + 10]) for i in range(0, len(pairs), 10)]
    records[-1] = records[-1].ljust(80)
    pattern = vorlen.read_bytes(gsas(f"BANK 1 {len(pairs)} 1 CONS 1000 5", *records), "a.gsa")
    assert pattern.y == [float(value) for _, value in pairs]


@settings(max_examples=300, deadline=None)
@given(st.sampled_from(["", " 0 0 ESD", " 0 0 FXYE", " 0 0 STD"]),
       st.sampled_from(["1", "3", "18446744073709551615"]),
       st.binary(max_size=300))
def test_any_bank_body_reads_or_raises_value_error(tail, channels, body):
    data = f"BANK 1 {channels} 1 CONS 1000 5{tail}\n".encode() + body
    try:
        pattern = vorlen.read_bytes(data, "a.gsa")
    except ValueError:
        return
    assert len(pattern.x) == len(pattern.y) >= 1
