#!/usr/bin/env python3
"""Quillet.DLL, 32- and 64-bit, under Wine, beside the native export.

    bench/windows_ratios.py WINE_RUN WIN32_BUILD WIN64_BUILD NATIVE_BENCH

Runs quillet_win_bench.exe of each Windows build (WINE_RUN PREFIX BITS
PROGRAM runs a Windows program) and the native benchmark's export figures,
and prints nanoseconds per call and the ratios: the 32-bit DLL's time over
the 64-bit DLL's, and the 64-bit DLL's over the native export's."""

import json
import os
import subprocess
import sys
import tempfile

wine_run, win32, win64, native = sys.argv[1:5]
SIZES = ["3", "64", "1024", "16384", "1048576"]


def windows(build, bits):
    program = os.path.join(build, "bin", "quillet_win_bench.exe")
    result = subprocess.run([wine_run, os.path.join(build, "wineprefix"), bits, program],
                            capture_output=True, text=True, cwd=os.path.join(build, "bin"))
    if result.returncode == 77:
        return None
    result.check_returncode()
    table = {}
    for line in result.stdout.splitlines()[1:]:
        name, *values = line.split()
        table[name] = dict(zip(SIZES, map(float, values)))
    return table


def native_exports():
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "exports.json")
        subprocess.run([native, "--benchmark_filter=^Export_", f"--benchmark_out={out}",
                        "--benchmark_out_format=json", "--benchmark_repetitions=3",
                        "--benchmark_min_time=0.1"], capture_output=True, check=True)
        with open(out) as f:
            runs = json.load(f)["benchmarks"]
    table = {}
    for run in runs:
        if run.get("run_type") != "iteration":
            continue
        name, size = run["run_name"].removeprefix("Export_").split("/")
        best = table.setdefault(name, {}).get(size)
        if best is None or run["real_time"] < best:
            table[name][size] = run["real_time"]
    return table


tables = {"win32": windows(win32, "32"), "win64": windows(win64, "64"), "native": native_exports()}
if tables["win32"] is None:
    print("The 32-bit DLL was not run: this kernel cannot execute 32-bit x86 programs.")
for label, table in tables.items():
    if table is None:
        continue
    print(f"\n{label}: ns per call")
    print(f"{'':20}" + "".join(f"{s:>12}" for s in SIZES))
    for name, values in table.items():
        print(f"{name:20}" + "".join(f"{values.get(s, 0):12.0f}" for s in SIZES))
for label, a, b in (("32-bit DLL / 64-bit DLL", "win32", "win64"),
                    ("64-bit DLL / native export", "win64", "native")):
    if tables[a] is None:
        continue
    print(f"\n{label} (time ratio; 1.00 is the same speed)")
    for name in tables[a]:
        if name in tables[b]:
            print(f"{name:20}" + "".join(f"{tables[a][name][s] / tables[b][name][s]:11.2f}x"
                                         for s in SIZES))
