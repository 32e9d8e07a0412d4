#!/usr/bin/env python3
"""The quillet tool on many small files in the page cache, beside coreutils:

    bench/tool_small_files.py [TOOL]   (default build/release/tools/quillet)

Two sets: 3,000 files of 1-16 KiB and 10,000 files of 0-1 KiB. For each,
`quillet sha1` and `quillet md5` with -j1 and with one job a CPU, beside
sha1sum and md5sum, best of seven runs (after a warm-up run that fills the
page cache). Prints each time and the ratios: coreutils' time / -j1's
(above 1 is faster) and -jN's time / -j1's (below 1 is faster)."""

import os
import random
import subprocess
import sys
import tempfile
import time

tool = sys.argv[1] if len(sys.argv) > 1 else "build/release/tools/quillet"
cpus = os.cpu_count() or 1


def best(command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    times = []
    for _ in range(7):
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return min(times)


rng = random.Random(19)
with tempfile.TemporaryDirectory() as directory:
    for count, low, high in ((3000, 1024, 16384), (10000, 0, 1024)):
        names = []
        for i in range(count):
            name = os.path.join(directory, f"s{high}-{i:05}")
            with open(name, "wb") as f:
                f.write(rng.randbytes(rng.randint(low, high)))
            names.append(name)
        for digest, peer in (("sha1", "sha1sum"), ("md5", "md5sum")):
            theirs = best([peer, *names])
            one = best([tool, digest, "-j1", *names])
            many = best([tool, digest, f"-j{cpus}", *names])
            print(f"{count} files of {low}-{high} B, {digest}: {peer} {theirs * 1000:.1f} ms, "
                  f"-j1 {one * 1000:.1f} ms ({theirs / one:.2f}x), -j{cpus} {many * 1000:.1f} ms "
                  f"({many / one:.2f} of -j1)")
