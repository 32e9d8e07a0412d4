#!/usr/bin/env python3
"""The quillet tool on many small files: one job against all CPUs.

    bench/tool_jobs.py [TOOL]   (default build/release/tools/quillet)

Makes 3,000 files of 0 to 100 KB (the page cache holds them after the first
run), times `quillet sha1 -j1` and `quillet sha1 -jN` (N = CPUs) over them,
best of five runs each, and prints the ratio (several jobs' time / one job's
time; below 1 is faster)."""

import os
import random
import subprocess
import sys
import tempfile
import time

tool = sys.argv[1] if len(sys.argv) > 1 else "build/release/tools/quillet"
cpus = os.cpu_count() or 1
rng = random.Random(3000)
with tempfile.TemporaryDirectory() as directory:
    names = []
    for i in range(3000):
        name = os.path.join(directory, f"f{i:04}")
        with open(name, "wb") as f:
            f.write(rng.randbytes(rng.randrange(100_001)))
        names.append(name)

    def best(jobs):
        times = []
        for _ in range(5):
            start = time.perf_counter()
            subprocess.run([tool, "sha1", f"-j{jobs}", *names], check=True,
                           stdout=subprocess.DEVNULL)
            times.append(time.perf_counter() - start)
        return min(times)

    one, many = best(1), best(cpus)
    print(f"3000 files, {sum(os.path.getsize(n) for n in names) / 1e6:.0f} MB: "
          f"-j1 {one * 1000:.0f} ms, -j{cpus} {many * 1000:.0f} ms, ratio {many / one:.2f}")
