"""ECCs files: the binary save format and the Quartz JSON export."""
import json
import os
import re
import subprocess
import sys

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st, HealthCheck

import dravik

READ = "Failed to read postcard data: "
END = READ + "Hit the end of buffer, expected more data"


def write(path, data):
    path.write_bytes(data)
    return str(path)


def load_bytes(tmp_path, data, name="in.bin"):
    return dravik.ECCs.from_postcard(write(tmp_path / name, data))


@pytest.fixture(scope="module")
def eccs():
    raw, _ = dravik.RawECCs.generate(dravik.Evaluator(3), [dravik.Gate.from_name(n) for n in ("h", "cx", "t")], 3)
    e = raw.simplify()
    assert len(e.filter_single()) > 5
    return e


# ----------------------------------------------------------------- binary file

def test_exact_bytes_both_ways(tmp_path):
    for data, nqubits, nclasses in [(bytes.fromhex("01010088808010 02".replace(" ", "")), 2, 1),
                                    (bytes.fromhex("0003"), 3, 0)]:
        e = load_bytes(tmp_path, data)
        assert (e.nqubits, len(e)) == (nqubits, nclasses)
        out = tmp_path / "out.bin"
        e.dump_postcard(str(out))
        assert out.read_bytes() == data
    one = load_bytes(tmp_path, bytes.fromhex("0101008880801002"))
    assert [c for c in one.to_list()[0].circuits()] == [[]]


def test_round_trip_truncation_and_trailing_bytes(tmp_path, eccs):
    path = tmp_path / "eccs.bin"
    eccs.dump_postcard(str(path))
    data = path.read_bytes()
    assert dravik.ECCs.from_postcard(str(path)) == eccs
    assert load_bytes(tmp_path, data + b"\x00\xff junk") == eccs
    for cut in (len(data) - 1, len(data) // 2, 0):
        with pytest.raises(ValueError) as exc:
            load_bytes(tmp_path, data[:cut])
        assert str(exc.value) == END


@pytest.mark.parametrize("data, message", [
    (bytes.fromhex("ffffffff10"), None),                     # 5-byte varint, last byte 16
    (bytes.fromhex("808080808000"), None),                   # 6-byte 32-bit varint
    (bytes.fromhex("ffffffff0f"), END),                      # 4 billion classes, no data
    (b"\x01\x01\x01\x01\xff\x00\xff\x00\x02", READ + "Tried to parse invalid utf-8"),
])
def test_bad_data(tmp_path, data, message):
    with pytest.raises(ValueError) as exc:
        load_bytes(tmp_path, data)
    if message is None:
        assert str(exc.value).startswith(READ) and str(exc.value) != END
    else:
        assert str(exc.value) == message


def test_unknown_gate_is_internal_error(tmp_path):
    with pytest.raises(dravik.InternalError) as exc:
        load_bytes(tmp_path, b"\x01\x01\x01\x04nope\x00\xff\x00\x02")
    assert str(exc.value) == "Failed to deserialize Gate16 from nope"


def test_file_errors(tmp_path, eccs):
    with pytest.raises(OSError) as exc:
        dravik.ECCs.from_postcard(str(tmp_path / "missing.bin"))
    assert str(exc.value).startswith("Failed to open file: ")
    for target in (tmp_path, tmp_path / "no" / "dir.bin"):
        with pytest.raises(OSError) as exc:
            eccs.dump_postcard(str(target))
        assert str(exc.value).startswith("Failed to create file: ")
    assert not (tmp_path / "no").exists()
    if os.path.exists("/dev/full"):
        with pytest.raises(ValueError) as exc:
            eccs.dump_postcard("/dev/full")
        assert str(exc.value) == "Failed to write postcard data: The serialize buffer is full"
        with pytest.raises(ValueError) as exc:
            eccs.dump_quartz("/dev/full")
        assert str(exc.value).startswith("Failed to write JSON: ")
    for method in (eccs.dump_postcard, eccs.dump_quartz, dravik.ECCs.from_postcard):
        with pytest.raises(TypeError, match="argument 'filepath'"):
            method(b"bytes/path")


def test_created_with_mode_0666_and_truncated(tmp_path, eccs):
    old = os.umask(0)
    try:
        for dump, name in ((eccs.dump_postcard, "a.bin"), (eccs.dump_quartz, "a.json")):
            path = tmp_path / name
            path.write_bytes(b"x" * 1_000_000)
            os.chmod(path, 0o600)  # an existing file keeps its own mode
            dump(str(path))
            assert path.stat().st_size < 1_000_000
            fresh = tmp_path / ("fresh_" + name)
            dump(str(fresh))
            assert fresh.stat().st_mode & 0o777 == 0o666
            assert fresh.read_bytes() == path.read_bytes()
    finally:
        os.umask(old)


def test_user_gate_loads_only_where_defined(tmp_path):
    prog = """
import sys, numpy as np, dravik
define, path = sys.argv[1] == "1", sys.argv[2]
if define:
    dravik.Gate("v", [], np.array([[1, 1j], [1j, 1]]) / np.sqrt(2))
try:
    e = dravik.ECCs.from_postcard(path)
    print("ok", len(e))
except BaseException as exc:
    print(type(exc).__name__, exc)
"""
    name = "v".encode()
    data = b"\x01\x01\x01" + bytes([len(name)]) + name + b"\x00\xff\x00\x01"
    path = write(tmp_path / "user.bin", data)
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    run = lambda flag: subprocess.run([sys.executable, "-c", prog, flag, path], capture_output=True,
                                      text=True, env=env, check=True).stdout.strip()
    assert run("1") == "ok 1"
    assert run("0") == "InternalError Failed to deserialize Gate16 from v"


@settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(data=st.one_of(
    st.binary(max_size=48),
    st.tuples(st.sampled_from([bytes.fromhex("0101008880801002"),
                               b"\x01\x02\x01\x01h\x00\xff\x88\x80\x80\x10\x00\x88\x80\x80\x10\x02"]),
              st.integers(0, 16), st.integers(0, 255))
      .map(lambda t: t[0][:t[1]] + bytes([t[2]]) + t[0][t[1] + 1:])))
def test_fuzz_from_postcard(tmp_path, data):
    path = write(tmp_path / "fuzz.bin", data)
    try:
        e = dravik.ECCs.from_postcard(path)
    except ValueError as exc:
        assert str(exc).startswith(READ)
        return
    except dravik.InternalError as exc:
        assert str(exc).startswith("Failed to deserialize Gate16 from ")
        return
    out = tmp_path / "again.bin"
    e.dump_postcard(str(out))
    assert dravik.ECCs.from_postcard(str(out)) == e


# --------------------------------------------------------------- Quartz export

def unitary(circuit, nqubits):
    """Matrix of a list of [name, qubits] records; qubit k is bit k of an index,
    the first qubit argument of a gate the most significant bit of its matrix."""
    dim = 2 ** nqubits
    u = np.eye(dim, dtype=complex)
    for name, qubits in circuit:
        m = dravik.Gate.from_name(name).matrix
        k = len(qubits)
        t = u.reshape([2] * nqubits + [dim])
        axes = [nqubits - 1 - q for q in qubits]
        t = np.tensordot(m.reshape([2] * (2 * k)), t, axes=(list(range(k, 2 * k)), axes))
        u = np.moveaxis(t, list(range(k)), axes).reshape(dim, dim)
    return u


def equal_up_to_phase(a, b):
    i = np.unravel_index(np.argmax(abs(a)), a.shape)
    return np.allclose(a * (b[i] / a[i]), b, atol=1e-9)


def test_quartz_document_structure(tmp_path, eccs):
    path = tmp_path / "eccs.json"
    eccs.dump_quartz(str(path))
    raw = path.read_bytes()
    assert raw.startswith(b"[[[0],[0]],{") and raw.endswith(b"}]")
    assert not re.search(rb"\s", raw)
    doc = json.loads(raw)
    assert isinstance(doc, list) and len(doc) == 2 and doc[0] == [[0], [0]]
    classes = eccs.to_list()
    keys = list(doc[1])
    assert [k.encode() for k in keys] == sorted(k.encode() for k in keys)
    variants = {}
    for key in keys:
        m = re.fullmatch(r"(0|[1-9a-f][0-9a-f]*)_(0|[1-9][0-9]*)", key)
        assert m, key
        variants.setdefault(int(m[1], 16), []).append(int(m[2]))
    multi = {k for k, ecc in enumerate(classes) if len(ecc.circuits()) >= 2}
    assert set(variants) == multi
    assert any(len(v) > 1 for v in variants.values())  # some class has several permutations
    for k, idx in variants.items():
        assert sorted(idx) == list(range(len(idx)))
    for key, records in doc[1].items():
        k = int(key.split("_")[0], 16)
        assert len(records) == len(classes[k].circuits())
        circuits = []
        for header, gate_records in records:
            assert header[1] == len(gate_records)
            qubits = [int(q[1:]) for _, qs, _ in gate_records for q in qs]
            assert header[0] == 1 + max(qubits, default=0)
            for name, qs, qs_out in gate_records:
                assert qs == qs_out and all(re.fullmatch(r"Q[0-9]+", q) for q in qs)
                assert dravik.Gate.from_name(name).nqargs == len(qs)
            circuits.append([(name, [int(q[1:]) for q in qs]) for name, qs, _ in gate_records])
        # Swaps spell out the permutations: every circuit of a variant acts
        # as the same unitary up to global phase.
        first = unitary(circuits[0], eccs.nqubits)
        for c in circuits[1:]:
            assert equal_up_to_phase(first, unitary(c, eccs.nqubits)), key


def test_quartz_singletons_and_missing_directory(tmp_path):
    single = load_bytes(tmp_path, b"\x02\x01\x00\x88\x80\x80\x10\x01\x01\x01h\x00\xff\x88\x80\x80\x10\x02")
    path = tmp_path / "s.json"
    single.dump_quartz(str(path))
    assert path.read_bytes() == b"[[[0],[0]],{}]"
    with pytest.raises(OSError) as exc:
        single.dump_quartz(str(tmp_path / "no" / "s.json"))
    assert str(exc.value).startswith("Failed to create file: ")
    assert not (tmp_path / "no").exists()
