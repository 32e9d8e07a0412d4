"""Checks Quillet.DLL's PE structure with the cross toolchain's binutils:
the file name, exactly the five undecorated exports, stdcall argument removal
(32-bit), nothing that runs at load (no entry point, no TLS directory or
callbacks, no constructor tables), no writable data but the import table,
no debug sections, imports from an allow-list only, and the version
resource.

With --stream DEF it checks QuilletStream.dll, the streaming interface's
DLL, the same way: exactly the .def file's exports, in the C calling
convention (the caller removes the arguments), malloc, free and strlen besides the
allowed imports, and no version resource."""

import argparse
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from binary_check import check, finish, run  # noqa: E402

EXPORTS = {"StandardSHA": 4, "BrokenSHA": 4, "LockdownSHA": 4, "MD5": 4,
           "DoubleHashPassword": 12}
# Every function the DLL may import, by DLL: the byte-string functions, the
# C runtime's memory functions, and the system's record of CPU features.
ALLOWED_IMPORTS = {
    "kernel32.dll": {"IsProcessorFeaturePresent"},
    "msvcrt.dll": {"memcpy", "memset", "memmove", "memcmp"},
    "oleaut32.dll": {"SysAllocStringByteLen", "SysFreeString", "SysStringByteLen"},
}

def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--bits", type=int, choices=(32, 64), required=True)
    parser.add_argument("--stream", metavar="DEF", help="QuilletStream.dll, exporting DEF's names")
    parser.add_argument("dll")
    args = parser.parse_args()
    exports, allowed, file_name = EXPORTS, ALLOWED_IMPORTS, "Quillet.DLL"
    if args.stream:
        with open(args.stream, encoding="utf-8") as f:
            exports = {name: 0 for name in re.findall(r"^\s+(\w+)\s*$", f.read(), re.M)}
        allowed = {"kernel32.dll": ALLOWED_IMPORTS["kernel32.dll"],
                   "msvcrt.dll": ALLOWED_IMPORTS["msvcrt.dll"] | {"malloc", "free", "strlen"}}
        file_name = "QuilletStream.dll"

    check(os.path.basename(args.dll) == file_name, f"file name is {file_name}")

    headers = run(args.objdump, "-p", args.dll)
    imports = {}
    for block in re.split(r"\n\s*DLL Name: ", headers)[1:]:
        dll, _, rest = block.partition("\n")
        names = re.findall(r"^\s*[0-9a-f]+\s+\d+\s+(\w+)\s*$", rest.split("\n\n")[0], re.M)
        imports[dll.strip().lower()] = set(names)
    for dll, names in sorted(imports.items()):
        outside = sorted(names - allowed.get(dll, set()))
        check(not outside, f"imports from {dll} only allowed functions: {sorted(names)}")

    entry = re.search(r"^AddressOfEntryPoint\s+([0-9a-f]+)", headers, re.M)
    check(entry is not None and int(entry.group(1), 16) == 0,
          "no entry point: the loader calls nothing at load, unload or thread start")
    tls = re.search(r"^Entry 9 ([0-9a-f]+) ([0-9a-f]+) Thread Storage Directory", headers, re.M)
    check(tls is not None and int(tls.group(1), 16) == 0 and int(tls.group(2), 16) == 0,
          "no TLS directory, so no TLS callbacks")

    section_table = run(args.objdump, "-h", args.dll)
    sections = re.findall(r"^\s*\d+\s+(\S+)\s+([0-9a-f]+)\s+[0-9a-f]+\s+[0-9a-f]+\s+[0-9a-f]+"
                          r"\s+\S+\n\s+(.*)$", section_table, re.M)
    check(sections, "section table read")
    for name, size, flags in sections:
        if name.startswith((".debug", "/")):
            check(False, f"no debug section: {name}")
        if name in (".CRT", ".ctors", ".dtors", ".tls"):
            check(int(size, 16) == 0, f"no constructor, destructor or TLS table: {name}")
        # The import address table is written by the loader. GNU ld marks the
        # resource section writable whatever its input says; nothing refers
        # to it but the system's version functions, which only read it.
        if "READONLY" not in flags and name not in (".idata", ".rsrc"):
            check(int(size, 16) == 0, f"no writable section but the import table: {name} {flags}")

    table = headers.split("[Ordinal/Name Pointer] Table", 1)[-1]
    names = set(re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", table, re.M))
    check(names == set(exports), f"exports exactly {sorted(exports)}: {sorted(names)}")

    disassembly = run(args.objdump, "-d", args.dll)
    for name, argument_bytes in exports.items():
        label = f"_{name}@{argument_bytes}" if args.bits == 32 and not args.stream else name
        if args.bits == 32 and args.stream:
            label = f"_{name}"
        body = re.search(rf"^[0-9a-f]+ <{re.escape(label)}>:\n(.*?)(?:\n\n|\Z)", disassembly,
                         re.S | re.M)
        check(body is not None, f"{name} found as {label}")
        if body is None or args.bits != 32:
            continue
        rets = re.findall(r"\tret[ \t]*(\S*)", body.group(1))
        expected = f"${argument_bytes:#x}" if argument_bytes else ""
        # (a cdecl function may end in a tail call alone)
        check((rets or args.stream) and all(r == expected for r in rets),
              f"{name} removes its {argument_bytes} argument bytes: ret {rets}")

    if args.stream:
        return finish()

    windres = re.sub(r"objdump$", "windres", args.objdump)
    resource = run(windres, "-i", args.dll, "-O", "rc")
    for text in ("FILEVERSION 0, 0, 0, 6", "PRODUCTVERSION 0, 0, 0, 6", 'BLOCK "040904B0"',
                 'VALUE "FileVersion", "0.0.0.6"', 'VALUE "ProductVersion", "0.0.0.6"',
                 'VALUE "InternalName", "Quillet"', 'VALUE "OriginalFilename", "Quillet.DLL"',
                 'VALUE "Translation", 0x409, 1200'):
        check(text in resource, f"version resource has {text}")

    return finish()


if __name__ == "__main__":
    sys.exit(main())
