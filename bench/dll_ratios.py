#!/usr/bin/env python3
"""The 32-bit Quillet.DLL beside the x86-64 libquillet.so, on this CPU.

    bench/dll_ratios.py [--seconds S] [--rounds N] [WIN32_BUILD [BENCH_BUILD]]

Runs the PE loader's timing mode on the DLL (WIN32_BUILD/tests/pe_loader_test
--bench, WIN32_BUILD/bin/Quillet.DLL: no Wine, the DLL's own code on this
CPU) and then BENCH_BUILD/bench/quillet_export_bench (the .so through
dlopen), with the same timing loop (bench/export_timing.c), one after the
other N times (default 2), both pinned to CPU 1 where taskset is available;
prints ns per call of both (each the best of all rounds), the ratios (DLL
time over .so time) and the CPU. S is the length of each repetition
(default 0.1 s; each program takes the best of five per round). The
builds default to build/win32 and build/bench of this source tree. Exits 77
if this kernel does not run 32-bit x86 programs."""

import argparse
import os
import shutil
import subprocess
import sys

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("--seconds", default="0.1")
parser.add_argument("--rounds", type=int, default=2)
parser.add_argument("win32", nargs="?", default=os.path.join(root, "build", "win32"))
parser.add_argument("bench", nargs="?", default=os.path.join(root, "build", "bench"))
args = parser.parse_args()

loader = os.path.join(args.win32, "tests", "pe_loader_test")
dll = os.path.join(args.win32, "bin", "Quillet.DLL")
native = os.path.join(args.bench, "bench", "quillet_export_bench")
for path, preset in ((loader, "win32"), (dll, "win32"), (native, "bench")):
    if not os.path.exists(path):
        sys.exit(f"{path} is missing: build the {preset} preset")
if subprocess.run([loader, "--can-run"], capture_output=True).returncode != 0:
    print("The DLL was not timed: this kernel does not run 32-bit x86 programs.")
    sys.exit(77)
pin = ["taskset", "-c", "1"] if shutil.which("taskset") else []


def timed(command):
    """The program's table: {export: {size: ns}}, sizes in order; other lines."""
    out = subprocess.run(pin + command, capture_output=True, text=True, check=True).stdout
    lines = out.splitlines()
    header = next(i for i, line in enumerate(lines) if line.startswith("ns per call"))
    sizes = lines[header].split()[3:]
    table = {}
    for line in lines[header + 1:]:
        name, *values = line.split()
        table[name] = dict(zip(sizes, map(float, values)))
    return sizes, table, lines[:header]


def cpu():
    fields = {}
    for line in subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines():
        key, _, value = line.partition(":")
        fields.setdefault(key.strip(), value.strip())
    flags = set(fields.get("Flags", "").split())
    has = [f for f in ("sha_ni", "avx2", "avx512f", "avx512vl") if f in flags]
    return (f"{fields.get('Model name', '?')}, family {fields.get('CPU family', '?')} "
            f"model {fields.get('Model', '?')}; {', '.join(has) or 'none of sha_ni, avx2, avx512'}; "
            f"{os.cpu_count()} CPUs{', pinned to CPU 1' if pin else ''}")


def size_label(size):
    n = int(size)
    return f"{n >> 20} MiB" if n >= 1 << 20 else f"{n >> 10} KiB" if n >= 1024 else f"{n} B"


def best(old, new):
    for name, values in new.items():
        for size, ns in values.items():
            old.setdefault(name, {})[size] = min(ns, old.get(name, {}).get(size, ns))


dll_table, so_table = {}, {}
for _ in range(max(args.rounds, 1)):
    sizes, table, notes = timed([loader, "--bench", dll, args.seconds])
    best(dll_table, table)
    so_sizes, table, _ = timed([native, args.seconds])
    best(so_table, table)
    assert sizes == so_sizes
print(f"CPU: {cpu()}")
for note in notes:
    print(note)
for label, table in (("Quillet.DLL (32-bit, through the PE loader)", dll_table),
                     ("libquillet.so (x86-64, through dlopen)", so_table)):
    print(f"\n{label}: ns per call, best of {5 * max(args.rounds, 1)}")
    print(f"{'':20}" + "".join(f"{size_label(s):>12}" for s in sizes))
    for name, values in table.items():
        print(f"{name:20}" + "".join(f"{values[s]:12.0f}" for s in sizes))
print("\nDLL / .so (time ratio; above 1 the DLL is slower)")
print(f"{'':20}" + "".join(f"{size_label(s):>12}" for s in sizes))
for name in dll_table:
    print(f"{name:20}" + "".join(f"{dll_table[name][s] / so_table[name][s]:11.2f}x"
                                 for s in sizes))
