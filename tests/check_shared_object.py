"""Checks libquillet.so as a reviewer would, with binutils: it exports exactly
the promised functions, needs the C library alone, and brings nothing that
runs at load or that is written at run time beyond what the toolchain puts
into every shared library. What the toolchain puts there is read from a
reference library built from an empty source file with the same compiler."""

import argparse
import re
import sys

from binary_check import check, finish, run


READELF, NM = "readelf", "nm"


def needed(library):
    return sorted(re.findall(r"\(NEEDED\)\s+Shared library: \[(\S+)\]", run(READELF, "-d", library)))


def sections(library):
    """Section name -> (size, flags, address)."""
    found = {}
    for m in re.finditer(r"^\s*\[\s*\d+\]\s+(\S+)\s+\S+\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)\s+"
                         r"[0-9a-f]+\s+([A-Z]*)", run(READELF, "-S", "-W", library), re.M):
        found[m.group(1)] = (int(m.group(3), 16), m.group(4), int(m.group(2), 16))
    return found


def relro(library):
    """The (start, end) of the memory that is read-only once the loader has
    relocated it (PT_GNU_RELRO), or (0, 0)."""
    m = re.search(r"^\s*GNU_RELRO\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+0x[0-9a-f]+\s+0x[0-9a-f]+\s+"
                  r"0x([0-9a-f]+)", run(READELF, "-l", "-W", library), re.M)
    return (int(m.group(1), 16), int(m.group(1), 16) + int(m.group(2), 16)) if m else (0, 0)


def writable_symbols(library, read_only_after_load=(0, 0)):
    """Names of defined data and bss symbols, local or global, but those in
    memory that is read-only once relocated (constant tables of pointers)."""
    names = set()
    start, end = read_only_after_load
    for line in run(NM, library).splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[1] in "dDbBvVuGgSs":
            if start <= int(parts[0], 16) < end:
                continue
            names.add(parts[2])
    return names


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--reference", required=True, help="a library built from an empty file")
    parser.add_argument("--readelf", default="readelf")
    parser.add_argument("--nm", default="nm")
    parser.add_argument("library")
    parser.add_argument("exports", nargs="+")
    args = parser.parse_args()
    global READELF, NM
    READELF, NM = args.readelf, args.nm

    dynamic = run(NM, "-D", "--defined-only", args.library)
    symbols = [line.split()[-1] for line in dynamic.splitlines() if line.strip()]
    # An export is NAME (version node QUILLET_0) or NAME@NODE.
    wanted = {e.split("@")[0]: (e.split("@") + ["QUILLET_0"])[1] for e in args.exports}
    nodes = set(wanted.values())
    exported = sorted(s.split("@")[0] for s in symbols if s.split("@")[0] not in nodes)
    check(exported == sorted(wanted), f"exports exactly {sorted(wanted)}: {exported}")
    for node in sorted(nodes):
        versioned = sorted(s.split("@")[0] for s in symbols if s.endswith(f"@@{node}"))
        want = sorted(name for name, n in wanted.items() if n == node)
        check(versioned == want, f"exactly {want} in version node {node}: {versioned}")

    check(needed(args.library) == ["libc.so.6"], f"needs only the C library: {needed(args.library)}")

    ours, reference = sections(args.library), sections(args.reference)
    for name in (".init_array", ".fini_array", ".ctors", ".dtors", ".preinit_array"):
        size = ours.get(name, (0, ""))[0]
        allowed = reference.get(name, (0, ""))[0]
        check(size <= allowed, f"{name}: {size} bytes, the toolchain's own {allowed}")
    check(not any(n in ours for n in (".tdata", ".tbss")), "no thread-local storage")
    program_headers = run(READELF, "-l", "-W", args.library)
    check(not re.search(r"^\s*TLS\s", program_headers, re.M), "no TLS segment")
    # Constant tables of pointers (.data.rel.ro) are written by the loader
    # as it relocates them and are read-only from then on: allowed only
    # inside the RELRO segment.
    start, end = relro(args.library)
    for name, (size, flags, address) in sorted(ours.items()):
        if "W" in flags and name not in reference:
            if size and start <= address and address + size <= end:
                check(True, f"{name}: {size} bytes, read-only once relocated (RELRO)")
                continue
            check(size == 0, f"writable section {name} that the toolchain does not make: {size} bytes")
    for name in (".data", ".bss"):
        size, allowed = ours.get(name, (0, ""))[0], reference.get(name, (0, ""))[0]
        check(size <= allowed, f"{name}: {size} bytes, the toolchain's own {allowed}")

    extra = sorted(writable_symbols(args.library, (start, end)) - writable_symbols(args.reference))
    check(not extra, f"no writable data of the library's own: {extra}")

    return finish()


if __name__ == "__main__":
    sys.exit(main())
