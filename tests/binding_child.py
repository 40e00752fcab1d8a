"""The child side of test_binding_safety: builds hostile objects from recipes (plain JSON),
passes them to vorlen and reports each outcome and any reference count that changed.

    python binding_child.py serve               one request per line of standard input
    python binding_child.py exhaust ARGUMENT    one call under an exhausted address space

It imports nothing but the standard library and vorlen, so it starts quickly.
"""

import collections.abc
import json
import os
import pathlib
import resource
import signal
import sys
import tempfile

import vorlen

XY = b"10 1\n20 2\n30 3\n"
BIG = 128 << 20  # bytes of one argument copied under an exhausted address space
HEADROOM = 32 << 20  # address space left to the call: enough for Python, not for a copy of BIG

ORDINARY = {"ValueError": ValueError, "TypeError": TypeError, "Boom": type("Boom", (Exception,), {}),
            "RecursionError": RecursionError, "OverflowError": OverflowError}
UNUSUAL = {"KeyboardInterrupt": KeyboardInterrupt, "MemoryError": MemoryError,
           "SystemExit": SystemExit, "GeneratorExit": GeneratorExit}
RAISED = {**ORDINARY, **UNUSUAL}


class Built:
    """The objects of one request, every container a hostile method may change (with its
    contents, to put back before counting references again) and the objects whose counts
    are watched."""

    def __init__(self):
        self.objects, self.restore = [], []

    def add(self, obj):
        self.objects.append(obj)
        return obj

    def mutable(self, container, mutators, role="container"):
        self.restore.append((container, container.copy()))
        for mutator in mutators:
            setattr(mutator, role, container)
        return container

    def put_back(self):
        for container, contents in self.restore:
            container.clear()
            container.update(contents) if isinstance(container, dict) else container.extend(contents)


def behave(behaviour, obj, value):
    """What a hostile method does: return `value`, raise, be interrupted by Ctrl-C, return the
    wrong type or first change the list it sits in (or the dict of keyword arguments of the call)."""
    kind, _, detail = behaviour.partition(":")
    if kind == "raise":
        raise RAISED[detail]("hostile")
    if kind == "ctrl-c":
        signal.raise_signal(signal.SIGINT)  # the default handler raises KeyboardInterrupt here
    if kind == "wrong":
        return {"str": "1.0", "none": None, "float": 1.5, "int": 1, "huge": 10**30,
                "floatsub": type("F", (float,), {})(2.0)}[detail]
    container = obj.arguments if detail == "arguments" else obj.container
    if kind == "mutate" and container is not None:
        if detail in ("clear", "arguments"):
            container.clear()
        elif detail == "shrink":
            del container[1:]
        elif detail == "grow":
            container.extend([1e9] * 1000)
        elif detail == "replace":
            container[:] = [object()] * 3
    return value


class Hostile:
    """An object whose methods may change what holds it: the builder sets `container` (its list)
    and `arguments` (the keyword dict of the call)."""

    container = arguments = None


class Number(Hostile):
    """A number whose one conversion method misbehaves."""

    def __init__(self, behaviour, value):
        self.behaviour, self.value = behaviour, value


class FloatNumber(Number):
    def __float__(self):
        return behave(self.behaviour, self, self.value)


class IndexNumber(Number):
    def __index__(self):
        return behave(self.behaviour, self, int(self.value))


class OddStr(str):
    def __str__(self):
        raise ValueError("hostile")

    def __fspath__(self):
        return "elsewhere.xy"

    def encode(self, *args, **kwargs):
        raise ValueError("hostile")

    def __len__(self):
        return -1

    def __iter__(self):
        raise KeyboardInterrupt

    def __getitem__(self, i):
        raise ValueError("hostile")


class OddBytes(bytes):
    def __bytes__(self):
        return b"hostile"

    def __len__(self):
        return 10**9

    def __getitem__(self, i):
        raise KeyboardInterrupt

    def __iter__(self):
        raise ValueError("hostile")

    def decode(self, *args, **kwargs):
        raise ValueError("hostile")


def sequence_class(length, access, abc):
    """A sequence over `items` whose __len__ may lie or misbehave and whose __getitem__ (or, for
    an object that is a Sequence only by registration, __iter__) may misbehave at one index:
    `access` is "ok" or [index, behaviour]."""

    def claimed_len(self):
        claims = {"true": len(self.items), "more": len(self.items) + 5, "huge": sys.maxsize,
                  "negative": -1}
        return claims[length] if length in claims else behave(length, self, len(self.items))

    def get(self, i):
        if access != "ok" and i == access[0]:
            return behave(access[1], self, self.items[i])
        return self.items[i]

    if not abc:
        return type("Lying", (Hostile,), {"__len__": claimed_len, "__getitem__": get})
    cls = type("Registered", (Hostile,), {"__len__": claimed_len,
                                          "__iter__": lambda self: (get(self, i) for i in range(len(self.items)))})
    collections.abc.Sequence.register(cls)
    return cls


def build(spec, built):
    kind, *rest = spec
    if kind == "value":
        return built.add(rest[0])
    if kind == "bytes":
        return built.add({"bytes": bytes, "odd": OddBytes, "bytearray": bytearray,
                          "memoryview": lambda b: memoryview(bytes(b))}[rest[0]](bytes.fromhex(rest[1])))
    if kind == "str":
        return built.add(OddStr(rest[1]) if rest[0] == "odd" else rest[1])
    if kind == "repeat":
        unit, count = rest
        return built.add((unit[2:].encode() if unit.startswith("b:") else unit) * count)
    if kind == "range":
        return built.add(range(rest[0]))
    if kind == "pathlike":
        return built.add(pathlib.PurePosixPath(rest[0]))
    if kind == "number":
        method, behaviour, value = rest
        return built.add({"__float__": FloatNumber, "__index__": IndexNumber}[method](behaviour, value))
    items = [build(item, built) for item in rest[-1]]
    mutators = [item for item in items if isinstance(item, Hostile)]
    if kind == "tuple":
        return built.add(tuple(items))
    if kind == "list":
        return built.add(built.mutable(items, mutators))
    # ["sequence", length, access, abc, items]
    sequence = sequence_class(*rest[:3])()
    sequence.items = built.mutable(items, [*mutators, sequence])
    return built.add(sequence)


def watchable(obj):
    """Objects whose reference count only this request changes (not shared singletons)."""
    if obj is None or isinstance(obj, bool):
        return False
    if type(obj) is int:
        return not -5 <= obj <= 256
    return not (type(obj) in (str, bytes) and len(obj) <= 1)


def describe(result):
    if not isinstance(result, vorlen.Pattern):
        return ["not a Pattern", type(result).__name__]
    x, y = result.x, result.y
    if not (len(x) == len(y) > 0 and all(type(v) is float for v in x + y)
            and all(a < b for a, b in zip(x, x[1:]))):
        return ["broken Pattern", repr(x[:5]), repr(y[:5])]
    return ["Pattern", x[:8], y[:8]]


def call_directly(entry, args, kwargs):
    """Calls through the C API with this very dict: a call from Python would copy it."""
    import ctypes
    call_object = ctypes.pythonapi.PyObject_Call
    call_object.argtypes = [ctypes.py_object] * 3
    call_object.restype = ctypes.py_object  # ctypes keeps one reference: the result is never freed
    return call_object(entry, tuple(args), kwargs)


def keyword_arguments(request, built):
    """The keyword dict of the call. A call from Python copies it: a hostile method may empty it,
    and it is put back afterwards. A direct call hands over the dict itself as the only holder
    of its values, which are then neither kept nor counted."""
    direct = request.get("direct", False)
    holder = Built() if direct else built
    kwargs = {name: build(spec, holder) for name, spec in request["keywords"].items()}
    mutators = [obj for obj in built.objects + holder.objects if isinstance(obj, Hostile)]
    if direct:
        for mutator in mutators:
            mutator.arguments = kwargs
    else:
        built.mutable(kwargs, mutators, "arguments")
    return kwargs


def call(request, built):
    entry = {"Pattern": vorlen.Pattern, "read": vorlen.read, "read_bytes": vorlen.read_bytes,
             "x": vorlen.Pattern.x.__get__, "y": vorlen.Pattern.y.__get__}[request["call"]]
    args = [build(spec, built) for spec in request["positional"]]
    kwargs = keyword_arguments(request, built)
    counted = [obj for obj in built.objects if watchable(obj)]
    before = [sys.getrefcount(obj) for obj in counted]
    try:
        outcome = describe(call_directly(entry, args, kwargs) if request.get("direct")
                           else entry(*args, **kwargs))
    except BaseException as error:  # the class is the outcome; interrupts included
        outcome = [type(error).__name__, str(error)[:200]]
    built.put_back()
    after = [sys.getrefcount(obj) for obj in counted]
    changed = [f"{type(obj).__name__}: {b} -> {a}" for obj, b, a in zip(counted, before, after) if a != b]
    return outcome, changed


def serve():
    """Answers one request per line of standard input until it ends."""
    import warnings
    warnings.simplefilter("error")  # a warning raised from inside a conversion is one more path
    with tempfile.TemporaryDirectory() as home:
        os.chdir(home)  # relative names reach only this folder's files
        pathlib.Path("a.xy").write_bytes(XY)
        for line in sys.stdin:
            outcome, changed = call(json.loads(line), Built())
            print(json.dumps({"outcome": outcome, "changed": changed}), flush=True)


def exhaust(argument):
    """Builds an argument of BIG bytes, leaves the call HEADROOM of address space and reports
    how the call ends."""
    big = {"sequence": lambda: [0.0] * (BIG // 8), "data": lambda: b"1 2\n" * (BIG // 4)}.get(
        argument, lambda: "a" * BIG)()
    call_it = {"path": lambda: vorlen.read(big), "filename": lambda: vorlen.read_bytes(XY, big),
               "block": lambda: vorlen.read_bytes(XY, "a.xy", block=big),
               "data": lambda: vorlen.read_bytes(big, "a.xy"),
               "sequence": lambda: vorlen.Pattern([1.0], big)}[argument]
    with open("/proc/self/statm") as statm:
        in_use = int(statm.read().split()[0]) * resource.getpagesize()
    resource.setrlimit(resource.RLIMIT_AS, (in_use + HEADROOM, resource.getrlimit(resource.RLIMIT_AS)[1]))
    try:
        call_it()
    except BaseException as error:
        print(type(error).__name__)
    else:
        print("returned")


if __name__ == "__main__":
    serve() if sys.argv[1] == "serve" else exhaust(sys.argv[2])
