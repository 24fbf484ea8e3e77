"""The command line, run as `python -m dravik` in a subprocess."""
import json
import os
import subprocess
import sys

import pytest

import dravik


def run(*args, cwd=None):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    return subprocess.run([sys.executable, "-m", "dravik", *args], capture_output=True, text=True,
                          env=env, cwd=cwd, timeout=300)


def summary(stdout):
    lines = stdout.split("summary:\n", 1)[1].splitlines()
    return {line[:15].strip(): line[15:].strip() for line in lines}


def test_generate_writes_files_and_summary(tmp_path):
    quartz, save = tmp_path / "eccs.json", tmp_path / "eccs.bin"
    r = run("generate", "--gates", "h,cx,t", "--qubits", "2", "--max-size", "3", "--check",
            "--quartz", str(quartz), "--save", str(save))
    assert r.returncode == 0, r.stderr
    assert r.stderr == ""
    assert "Exploring" in r.stdout  # native progress lines come first
    s = summary(r.stdout)
    assert s["gates"] == "h, cx, t, tdg"  # adjoint added
    loaded = dravik.ECCs.from_postcard(str(save))
    assert int(s["classes"]) == len(loaded)
    assert int(s["classes >= 2"]) == len(loaded.filter_single())
    assert int(s["circuits"]) == sum(len(e.circuits()) for e in loaded.to_list())
    explored, evaluated, inserted = (int(s[k]) for k in ("explored", "evaluated", "insertions"))
    assert 0 < explored <= evaluated <= inserted
    assert s["check"] == "0 failing classes"
    assert s["wall time"].endswith(" s") and s["peak memory"].endswith(" MiB")
    doc = json.loads(quartz.read_text())
    assert doc[0] == [[0], [0]] and len(doc[1]) >= len(loaded.filter_single())


def test_naive_and_quiet(tmp_path):
    r = run("generate", "--gates", "h,cx", "--qubits", "2", "--max-size", "2", "--naive", "--quiet")
    assert r.returncode == 0, r.stderr
    assert "Exploring" not in r.stdout
    s = summary(r.stdout)
    assert s["search"] == "naive"
    assert s["evaluated"] == s["insertions"]


@pytest.mark.parametrize("args, needle", [
    (["--gates", "h,foo", "--qubits", "2", "--max-size", "2"], "unknown gate 'foo'"),
    (["--gates", "h,,cx", "--qubits", "2", "--max-size", "2"], "empty gate name"),
    (["--gates", "h", "--qubits", "0", "--max-size", "2"], "argument --qubits: must be between 1 and 8, got 0"),
    (["--gates", "h", "--qubits", "9", "--max-size", "2"], "argument --qubits: must be between 1 and 8, got 9"),
    (["--gates", "h", "--qubits", "two", "--max-size", "2"], "argument --qubits: must be an integer, got 'two'"),
    (["--gates", "h", "--qubits", "2", "--max-size", "-1"], "argument --max-size: must be at least 0, got -1"),
    (["--gates", "h", "--qubits", "2", "--max-size", "1.5"], "argument --max-size: must be an integer"),
    (["--qubits", "2", "--max-size", "2"], "required: --gates"),
    (["--gates", "h", "--qubits", "2", "--max-size", "2", "--bogus"], "unrecognized arguments: --bogus"),
])
def test_usage_errors_one_line_exit_2(args, needle):
    r = run("generate", *args)
    assert r.returncode == 2
    assert r.stdout == ""
    assert r.stderr.count("\n") == 1 and needle in r.stderr, r.stderr


def test_no_command_is_a_usage_error():
    r = run()
    assert r.returncode == 2 and r.stderr.count("\n") == 1


def test_help_explains_every_option():
    r = run("generate", "--help")
    assert r.returncode == 0
    for option in ("--gates", "--qubits", "--max-size", "--naive", "--check", "--quartz", "--save", "--quiet"):
        assert option in r.stdout
    top = run("--help")
    assert top.returncode == 0 and "generate" in top.stdout


def test_quartz_vocabulary_warning(tmp_path):
    r = run("generate", "--gates", "h,cy", "--qubits", "2", "--max-size", "2", "--quiet",
            "--quartz", str(tmp_path / "q.json"))
    assert r.returncode == 0
    warnings = [line for line in r.stderr.splitlines() if line.startswith("warning:")]
    assert len(warnings) == 1 and warnings[0].endswith(": cy")


def test_write_failure_is_reported(tmp_path):
    if not os.path.exists("/dev/full"):
        pytest.skip("no /dev/full")
    r = run("generate", "--gates", "h", "--qubits", "1", "--max-size", "2", "--quiet", "--save", "/dev/full")
    assert r.returncode == 1
    assert "Failed to write postcard data: The serialize buffer is full" in r.stderr
    r = run("generate", "--gates", "h", "--qubits", "1", "--max-size", "2", "--quiet",
            "--quartz", str(tmp_path / "missing" / "q.json"))
    assert r.returncode == 1 and "Failed to create file: " in r.stderr
