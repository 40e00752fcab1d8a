"""The package stub vorlen/__init__.pyi describes the extension module exactly: names,
signatures and docstrings."""

import ast
import inspect
import pathlib

import pytest

import vorlen

STUB = pathlib.Path(__file__).resolve().parents[1] / "vorlen" / "__init__.pyi"
TREE = ast.parse(STUB.read_text(encoding="utf-8"))
TOP = {node.name: node for node in TREE.body if isinstance(node, (ast.FunctionDef, ast.ClassDef))}
PATTERN = TOP["Pattern"]
METHODS = {node.name: node for node in PATTERN.body if isinstance(node, ast.FunctionDef)}


def stub_all():
    for node in TREE.body:
        if isinstance(node, ast.Assign) and [t.id for t in node.targets] == ["__all__"]:
            return ast.literal_eval(node.value)
    raise AssertionError("the stub has no __all__")


def public_stub_names():
    names = set(TOP)
    for node in TREE.body:
        if isinstance(node, ast.AnnAssign):
            names.add(node.target.id)
    return {n for n in names if not n.startswith("_") or n.startswith("__")}


def stub_parameters(function, skip_self=False):
    """(name, kind, default) of each parameter, in the form inspect uses."""
    args = function.args
    positional = args.posonlyargs + args.args
    if skip_self:
        positional = positional[1:]
    defaults = [inspect.Parameter.empty] * (len(positional) - len(args.defaults))
    defaults += [ast.literal_eval(d) for d in args.defaults]
    params = [(a.arg, inspect.Parameter.POSITIONAL_OR_KEYWORD, d) for a, d in zip(positional, defaults)]
    params += [(a.arg, inspect.Parameter.KEYWORD_ONLY,
                inspect.Parameter.empty if d is None else ast.literal_eval(d))
               for a, d in zip(args.kwonlyargs, args.kw_defaults)]
    return params


def runtime_parameters(obj):
    return [(p.name, p.kind, p.default) for p in inspect.signature(obj).parameters.values()]


def test_all_matches_module():
    assert stub_all() == vorlen.__all__
    assert public_stub_names() == set(vorlen.__all__)


@pytest.mark.parametrize("name", ["read", "read_bytes"])
def test_function_signature_and_doc(name):
    function = getattr(vorlen, name)
    assert stub_parameters(TOP[name]) == runtime_parameters(function)
    assert ast.get_docstring(TOP[name]) == function.__doc__


def test_pattern_constructor_and_doc():
    assert stub_parameters(METHODS["__init__"], skip_self=True) == runtime_parameters(vorlen.Pattern)
    assert ast.get_docstring(PATTERN) == vorlen.Pattern.__doc__


@pytest.mark.parametrize("name", ["x", "y"])
def test_properties_are_read_only_lists(name):
    node = METHODS[name]
    assert [ast.unparse(d) for d in node.decorator_list] == ["property"]
    assert ast.unparse(node.returns) == "list[float]"
    assert ast.get_docstring(node) == getattr(vorlen.Pattern, name).__doc__
    p = vorlen.Pattern([1.0], [2.0])
    with pytest.raises(AttributeError):
        setattr(p, name, [3.0])


def test_pattern_is_final_like_the_runtime_class():
    assert "final" in [ast.unparse(d) for d in PATTERN.decorator_list]
    with pytest.raises(TypeError):
        type("Sub", (vorlen.Pattern,), {})


def test_installed_module_carries_its_stub():
    package_dir = pathlib.Path(vorlen.__file__).parent
    if package_dir.parent.name not in ("site-packages", "dist-packages"):
        pytest.skip("vorlen is not installed (running against a build directory)")
    assert package_dir.name == "vorlen"
    assert pathlib.Path(vorlen.__file__).name.startswith("__init__.")
    assert (package_dir / "__init__.pyi").read_bytes() == STUB.read_bytes()
    assert (package_dir / "py.typed").exists()
