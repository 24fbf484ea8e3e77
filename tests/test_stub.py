"""The committed type stub describes every registered class and member."""
import ast
import pathlib

import dravik
import dravik.dravik as native

STUB = pathlib.Path(native.__file__).with_name("dravik.pyi")


def stub_members():
    tree = ast.parse(STUB.read_text())
    classes = {}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            classes[node.name] = {n.name for n in node.body if isinstance(n, ast.FunctionDef)}
    return classes


def test_stub_matches_module_declarations():
    assert STUB.read_text() == native._stub_text


def test_stub_names_every_class_and_member():
    classes = stub_members()
    for name in dravik.__all__:
        assert name in classes, name
        cls = getattr(dravik, name)
        public = {m for m in vars(cls) if not m.startswith("_") or m in ("__init__", "__call__")}
        missing = public - classes[name]
        assert not missing, f"{name}: {sorted(missing)}"


def test_package_reexports_module():
    assert dravik.__all__ == native.__all__
    for name in dravik.__all__:
        assert getattr(dravik, name) is getattr(native, name)
    assert issubclass(dravik.InternalError, BaseException)
    assert not issubclass(dravik.InternalError, Exception)
