#!/usr/bin/env python3
"""Times `python -m dravik generate` on the gate set {h, cx, t, tdg}.

Runs each configuration under `/usr/bin/time -v` and reports wall time, peak
resident memory, the number of classes and the three search counters.

    PYTHONPATH=build/python /usr/bin/python3 bench/generate.py            # all configurations
    PYTHONPATH=build/python /usr/bin/python3 bench/generate.py 3:5 3:6    # a selection (qubits:max-size)
    ... --naive                                                          # the baseline search
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

CONFIGS = [(3, 5), (3, 6), (3, 7), (4, 5), (4, 6)]
GATES = "h,cx,t,tdg"


def parse_time_v(text):
    wall = re.search(r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\): (\S+)", text)[1]
    seconds = 0.0
    for part in wall.split(":"):
        seconds = seconds * 60 + float(part)
    peak_kib = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text)[1])
    return seconds, peak_kib


def parse_summary(stdout):
    lines = stdout.split("summary:\n", 1)[1].splitlines()
    return {line[:15].strip(): line[15:].strip() for line in lines}


def run(qubits, max_size, naive, save_dir, threads=None):
    cmd = ["/usr/bin/time", "-v", sys.executable, "-m", "dravik", "generate", "--gates", GATES,
           "--qubits", str(qubits), "--max-size", str(max_size), "--quiet",
           "--save", os.path.join(save_dir, f"eccs_{qubits}_{max_size}.bin")]
    if naive:
        cmd.append("--naive")
    if threads:
        cmd += ["--threads", str(threads)]
    r = subprocess.run(cmd, capture_output=True, text=True)
    if r.returncode != 0:
        sys.exit(f"failed: {' '.join(cmd)}\n{r.stderr}")
    wall, peak = parse_time_v(r.stderr)
    s = parse_summary(r.stdout)
    return wall, peak, s


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("configs", nargs="*", help="qubits:max-size pairs (default: all)")
    ap.add_argument("--naive", action="store_true", help="time the naive search instead")
    ap.add_argument("--threads", type=int, help="limit the worker pool to this many threads")
    args = ap.parse_args()
    configs = [tuple(int(x) for x in c.split(":")) for c in args.configs] or CONFIGS
    print(f"gates {GATES}, {'naive' if args.naive else 'optimized'} search, "
          f"{args.threads or len(os.sched_getaffinity(0))} threads")
    header = f"{'qubits':>6} {'size':>4} {'wall s':>8} {'peak MiB':>9} {'classes':>9} {'>=2':>8} " \
             f"{'circuits':>9} {'explored':>9} {'evaluated':>10} {'insertions':>11} {'file KiB':>9}"
    print(header)
    with tempfile.TemporaryDirectory() as tmp:
        for qubits, max_size in configs:
            wall, peak, s = run(qubits, max_size, args.naive, tmp, args.threads)
            size = os.path.getsize(os.path.join(tmp, f"eccs_{qubits}_{max_size}.bin")) / 1024
            print(f"{qubits:>6} {max_size:>4} {wall:>8.2f} {peak / 1024:>9.1f} {s['classes']:>9} "
                  f"{s['classes >= 2']:>8} {s['circuits']:>9} {s['explored']:>9} {s['evaluated']:>10} "
                  f"{s['insertions']:>11} {size:>9.0f}", flush=True)


if __name__ == "__main__":
    main()
