#!/usr/bin/env python3
"""Speed-up of the search on the worker pool: `generate` and `simplify` on
{h, cx, t, tdg}, timed in-process, with the pool limited to 1 thread and then
to every allowed processor (through the processor affinity, which the pool
reads when it starts). Each configuration runs in a fresh process; the median
of --repeat runs is reported.

    PYTHONPATH=build/python /usr/bin/python3 bench/parallel.py            # 3:8 and 4:7
    PYTHONPATH=build/python /usr/bin/python3 bench/parallel.py 3:7 --repeat 5
"""
import argparse
import json
import os
import statistics
import subprocess
import sys

CHILD = r"""
import json, os, resource, sys, time
os.sched_setaffinity(0, sorted(os.sched_getaffinity(0))[:int(sys.argv[3])])
import dravik
gates = [dravik.Gate.from_name(n) for n in ("h", "cx", "t", "tdg")]
ev = dravik.Evaluator(int(sys.argv[1]))
devnull = os.open(os.devnull, os.O_WRONLY)
saved = os.dup(1)
os.dup2(devnull, 1)  # the progress lines
t0 = time.perf_counter()
raw, counters = dravik.RawECCs.generate(ev, gates, int(sys.argv[2]))
t1 = time.perf_counter()
eccs = raw.simplify()
t2 = time.perf_counter()
os.dup2(saved, 1)
print(json.dumps({"generate": t1 - t0, "simplify": t2 - t1, "classes": len(eccs), "counters": counters,
                  "peak_mib": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024}))
"""


def run(qubits, max_size, threads):
    out = subprocess.run([sys.executable, "-c", CHILD, str(qubits), str(max_size), str(threads)],
                         capture_output=True, text=True, check=True).stdout
    return json.loads(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("configs", nargs="*", help="qubits:max-size pairs (default: 3:8 4:7)")
    ap.add_argument("--repeat", type=int, default=3)
    args = ap.parse_args()
    configs = [tuple(int(x) for x in c.split(":")) for c in args.configs] or [(3, 8), (4, 7)]
    ncpu = len(os.sched_getaffinity(0))
    print(f"{'qubits':>6} {'size':>4} {'threads':>7} {'generate s':>10} {'simplify s':>10} {'total s':>8} "
          f"{'speed-up':>8} {'peak MiB':>8} {'classes':>8}")
    for qubits, max_size in configs:
        base = None
        for threads in sorted({1, ncpu}):
            runs = [run(qubits, max_size, threads) for _ in range(args.repeat)]
            gen = statistics.median(r["generate"] for r in runs)
            simp = statistics.median(r["simplify"] for r in runs)
            total = statistics.median(r["generate"] + r["simplify"] for r in runs)
            base = base or total
            r = runs[0]
            print(f"{qubits:>6} {max_size:>4} {threads:>7} {gen:>10.2f} {simp:>10.2f} {total:>8.2f} "
                  f"{base / total:>7.2f}x {r['peak_mib']:>8.0f} {r['classes']:>8}", flush=True)


if __name__ == "__main__":
    main()
