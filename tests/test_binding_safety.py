"""The binding against every object Python code can legally pass: sequences and numbers that
lie, raise or mutate what holds them, str and bytes subclasses with odd methods, huge and empty
inputs, an exhausted address space, and file names as the operating system gives them.

Whatever could end the interpreter runs in a child process (binding_child.py), so a crash fails
a test instead of the whole run. The child builds each object itself from a recipe (plain JSON),
calls the entry point, and reports the outcome and any reference count that changed.
"""

import json
import os
import pathlib
import resource
import select
import subprocess
import sys
import tempfile

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

import vorlen
from binding_child import ORDINARY, RAISED, UNUSUAL, XY

CHILD = str(pathlib.Path(__file__).with_name("binding_child.py"))
REPLY_TIMEOUT = 120  # seconds; generous for a loaded machine, short of a hang
ADDRESS_SPACE = 2 << 30  # a claimed length the child would try to honour fails, never swaps


# --- the parent -------------------------------------------------------------------------------

def child_environment(allocator=None):
    env = dict(os.environ)
    module_dir = str(pathlib.Path(vorlen.__file__).resolve().parent)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [module_dir, env.get("PYTHONPATH")]))
    env.pop("PYTHONMALLOC", None)
    if allocator:
        env["PYTHONMALLOC"] = allocator
    return env


def limit_address_space():
    resource.setrlimit(resource.RLIMIT_AS, (ADDRESS_SPACE, ADDRESS_SPACE))


class Child:
    """One serving child, started again after it dies."""

    def __init__(self, allocator):
        self.allocator, self.process = allocator, None

    def start(self):
        self.errors = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            [sys.executable, CHILD, "serve"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=self.errors, text=True, env=child_environment(self.allocator),
            preexec_fn=limit_address_space)

    def ask(self, request):
        if self.process is None:
            self.start()
        self.process.stdin.write(json.dumps(request) + "\n")
        self.process.stdin.flush()
        ready, _, _ = select.select([self.process.stdout], [], [], REPLY_TIMEOUT)
        line = self.process.stdout.readline() if ready else ""
        if line:
            return json.loads(line)
        self.process.kill()
        status = self.process.wait()
        self.errors.seek(0)
        tail = self.errors.read()[-3000:].decode(errors="replace")
        self.errors.close()
        self.process = None
        raise AssertionError(f"child ended ({status}) on {request}:\n{tail}")

    def stop(self):
        if self.process is not None:
            self.process.stdin.close()
            self.process.wait()
            self.errors.close()


@pytest.fixture(scope="module", params=[None, "debug"], ids=["allocator", "debug-allocator"])
def child(request):
    serving = Child(request.param)
    yield serving
    serving.stop()


# --- recipes ----------------------------------------------------------------------------------

def raising(names):
    return st.sampled_from([f"raise:{name}" for name in names])


mutations = st.sampled_from(["mutate:clear", "mutate:shrink", "mutate:grow", "mutate:replace",
                             "mutate:arguments"])
behaviours = st.one_of(
    st.sampled_from(["ok", "ctrl-c"]), raising(RAISED), mutations, mutations,
    st.sampled_from(["wrong:str", "wrong:none", "wrong:float", "wrong:int", "wrong:huge", "wrong:floatsub"]))
plain_numbers = st.one_of(st.floats(), st.integers(-(2**70), 2**70), st.booleans())
texts = st.text(st.characters(blacklist_characters="/"), max_size=12)
hostile_numbers = st.tuples(st.just("number"), st.sampled_from(["__float__", "__index__"]), behaviours,
                            st.floats(-1e6, 1e6)).map(list)
numbers = st.one_of(
    plain_numbers.map(lambda v: ["value", v]), hostile_numbers, hostile_numbers,
    st.sampled_from([["value", "1.0"], ["value", None], ["list", []], ["str", "odd", "12"]]))
sequences = st.one_of(
    st.tuples(st.sampled_from(["list", "tuple"]), st.lists(numbers, max_size=6)).map(list),
    st.tuples(st.just("sequence"),
              st.one_of(st.sampled_from(["true", "more", "huge", "negative"]), behaviours),
              st.one_of(st.just("ok"), st.tuples(st.integers(0, 5), behaviours).map(list)),
              st.booleans(), st.lists(numbers, max_size=6)).map(list),
    st.sampled_from([["range", 0], ["range", 1], ["range", 100_000], ["repeat", "ab", 100_000],
                     ["str", "plain", ""], ["str", "odd", "12"], ["bytes", "bytes", "0102"],
                     ["value", 5], ["value", None]]))
strings = st.one_of(
    st.tuples(st.just("str"), st.sampled_from(["plain", "odd"]), texts).map(list),
    st.sampled_from([["str", "plain", "a.xy"], ["str", "odd", "a.xy"], ["str", "plain", "a.xy\0.b"],
                     ["str", "plain", "scan\udcff.xy"], ["str", "plain", "\ud800.xy"],
                     ["str", "plain", "."], ["repeat", "a", 1 << 20], ["pathlike", "a.xy"],
                     ["bytes", "bytes", "612e7879"], ["value", None]]))
contents = st.one_of(
    st.tuples(st.just("bytes"), st.sampled_from(["bytes", "odd", "bytearray", "memoryview"]),
              st.binary(max_size=64).map(bytes.hex)).map(list),
    st.sampled_from([["bytes", "bytes", XY.hex()], ["bytes", "odd", XY.hex()], ["str", "plain", "10 1"],
                     ["repeat", "b:1 2\n", 250_000], ["bytes", "bytes", ""]]))
indexes = st.one_of(numbers, st.sampled_from([["value", -1], ["value", 2**64], ["value", 1.0]]))
blocks = st.one_of(strings, st.just(["value", None]))


def request_for(call, required, optional):
    """Requests passing the required arguments by position or by keyword, and any optional."""
    names = [name for name, _ in required]

    @st.composite
    def build(draw):
        values = {name: draw(strategy) for name, strategy in required}
        given_optional = {name: draw(strategy) for name, strategy in optional if draw(st.booleans())}
        by_position = draw(st.integers(0, len(names)))
        return {"call": call, "direct": draw(st.booleans()),
                "positional": [values[n] for n in names[:by_position]],
                "keywords": {**{n: values[n] for n in names[by_position:]}, **given_optional}}

    return build()


requests = st.one_of(
    request_for("Pattern", [("x", sequences), ("y", sequences)], []),
    request_for("read", [("path", strings)], [("index", indexes), ("block", blocks)]),
    request_for("read_bytes", [("data", contents), ("filename", strings)],
                [("index", indexes), ("block", blocks)]),
    request_for("x", [("self", st.one_of(sequences, strings))], []),
    request_for("y", [("self", st.one_of(sequences, strings))], []))

# What a call may end with: a result, the binding's own exceptions, or one a hostile object raised.
OWN = {"Pattern", "TypeError", "ValueError", "OverflowError", "OSError", "UnicodeEncodeError",
       "MemoryError", *RAISED}


@settings(max_examples=200, deadline=None, suppress_health_check=[HealthCheck.too_slow,
                                                                  HealthCheck.data_too_large])
@given(request=requests)
def test_hostile_objects_give_a_result_or_an_exception_and_leak_nothing(child, request):
    reply = child.ask(request)
    assert reply["outcome"][0] in OWN, reply
    assert reply["changed"] == [], reply


# --- the cases the property stands for ---------------------------------------------------------

def mutating_first(how):
    return ["list", [["number", "__float__", f"mutate:{how}", 0.5], ["value", 2.5], ["value", 3.5]]]


@pytest.mark.parametrize("how", ["clear", "shrink", "grow", "replace"])
def test_elements_are_converted_from_the_sequence_as_passed(child, how):
    # The first element's __float__ changes the list it sits in; the values are those of the
    # list as it was passed.
    request = {"call": "Pattern", "positional": [mutating_first(how)],
               "keywords": {"y": ["list", [["value", 1.0], ["value", 2.0], ["value", 3.0]]]}}
    reply = child.ask(request)
    assert reply == {"outcome": ["Pattern", [0.5, 2.5, 3.5], [1.0, 2.0, 3.0]], "changed": []}


@pytest.mark.parametrize("call, keywords, expected", [
    ("read_bytes", {"data": ["bytes", "bytes", XY.hex()], "filename": ["str", "plain", "a.xy"],
                    "index": ["number", "__index__", "mutate:arguments", 0]},
     ["Pattern", [10.0, 20.0, 30.0], [1.0, 2.0, 3.0]]),
    ("Pattern", {"x": ["list", [["number", "__float__", "mutate:arguments", 0.5]]],
                 "y": ["list", [["value", 7.0]]]},
     ["Pattern", [0.5], [7.0]]),
])
def test_arguments_outlive_code_that_empties_the_keyword_dict(child, call, keywords, expected):
    reply = child.ask({"call": call, "direct": True, "positional": [], "keywords": keywords})
    assert reply == {"outcome": expected, "changed": []}


@pytest.mark.parametrize("where", ["element", "sequence"])
@pytest.mark.parametrize("behaviour, expected", [
    *[(f"raise:{name}", "TypeError") for name in ORDINARY],
    *[(f"raise:{name}", name) for name in UNUSUAL],
    ("ctrl-c", "KeyboardInterrupt"),
])
def test_only_ordinary_conversion_failures_become_the_type_error(child, where, behaviour, expected):
    # An interrupt, an exit or exhausted memory is no failure to convert: it passes through.
    failing = ["number", "__float__", behaviour, 2.0] if where == "element" else ["value", 2.0]
    access = "ok" if where == "element" else [1, behaviour]
    y = ["sequence", "true", access, False, [["value", 1.0], failing]]
    reply = child.ask({"call": "Pattern", "positional": [["tuple", [["value", 0.0], ["value", 1.0]]], y],
                       "keywords": {}})
    assert reply["outcome"][0] == expected, reply
    assert expected != "TypeError" or "'y'" in reply["outcome"][1]


@pytest.mark.parametrize("argument", ["path", "filename", "block", "data", "sequence"])
def test_exhausted_address_space_is_a_memory_error(argument):
    done = subprocess.run([sys.executable, CHILD, "exhaust", argument], capture_output=True,
                          text=True, env=child_environment(), timeout=REPLY_TIMEOUT)
    assert (done.returncode, done.stdout.strip()) == (0, "MemoryError"), done.stderr[-2000:]


# --- file names as the operating system gives them ---------------------------------------------

@pytest.mark.parametrize("name", [b"scan\xff.xy", b"\xe9t\xe9.xy", "sc\u00e4n \u03b8.xy".encode(), b"a.xy"])
def test_a_name_os_listdir_gives_reads_its_file(tmp_path, name):
    with open(os.path.join(os.fsencode(tmp_path), name), "wb") as f:
        f.write(XY)
    [listed] = os.listdir(str(tmp_path))
    assert vorlen.read(os.path.join(str(tmp_path), listed)).x == [10.0, 20.0, 30.0]
    assert vorlen.read_bytes(XY, listed).y == [1.0, 2.0, 3.0]


@pytest.mark.parametrize("call", [vorlen.read, lambda name: vorlen.read_bytes(XY, name)],
                         ids=["read", "read_bytes"])
@pytest.mark.parametrize("name", ["\ud800.xy", "a\udbff\udfff.xy"])
def test_a_name_no_file_can_have_is_refused(call, name):
    with pytest.raises(UnicodeEncodeError):
        call(name)
