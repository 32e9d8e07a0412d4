"""Checks Quillet.DLL's PE structure with the cross toolchain's binutils:
the file name, exactly the five undecorated exports, stdcall argument removal
(32-bit), imports from system DLLs only, and the version resource."""

import argparse
import os
import re
import subprocess
import sys

EXPORTS = {"StandardSHA": 4, "BrokenSHA": 4, "LockdownSHA": 4, "MD5": 4,
           "DoubleHashPassword": 12}
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "oleaut32.dll"}

failures = []


def check(condition, message):
    print(("ok    " if condition else "FAIL  ") + message)
    if not condition:
        failures.append(message)


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--bits", type=int, choices=(32, 64), required=True)
    parser.add_argument("dll")
    args = parser.parse_args()

    check(os.path.basename(args.dll) == "Quillet.DLL", "file name is Quillet.DLL")

    headers = run(args.objdump, "-p", args.dll)
    imports = {m.lower() for m in re.findall(r"DLL Name: (\S+)", headers)}
    allowed = {d for d in imports if d in SYSTEM_DLLS or d.startswith("api-ms-win-crt-")}
    check(imports == allowed, f"imports only system DLLs: {sorted(imports)}")

    table = headers.split("[Ordinal/Name Pointer] Table", 1)[-1]
    names = set(re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", table, re.M))
    check(names == set(EXPORTS), f"exports exactly {sorted(EXPORTS)}: {sorted(names)}")

    disassembly = run(args.objdump, "-d", args.dll)
    for name, argument_bytes in EXPORTS.items():
        label = f"_{name}@{argument_bytes}" if args.bits == 32 else name
        body = re.search(rf"^[0-9a-f]+ <{re.escape(label)}>:\n(.*?)(?:\n\n|\Z)", disassembly,
                         re.S | re.M)
        check(body is not None, f"{name} found as {label}")
        if body is None or args.bits != 32:
            continue
        rets = re.findall(r"\tret\s*(\S*)", body.group(1))
        expected = f"${argument_bytes:#x}"
        check(rets and all(r == expected for r in rets),
              f"{name} removes its {argument_bytes} argument bytes: ret {rets}")

    windres = re.sub(r"objdump$", "windres", args.objdump)
    resource = run(windres, "-i", args.dll, "-O", "rc")
    for text in ("FILEVERSION 0, 0, 0, 6", "PRODUCTVERSION 0, 0, 0, 6", 'BLOCK "040904B0"',
                 'VALUE "FileVersion", "0.0.0.6"', 'VALUE "ProductVersion", "0.0.0.6"',
                 'VALUE "InternalName", "Quillet"', 'VALUE "OriginalFilename", "Quillet.DLL"',
                 'VALUE "Translation", 0x409, 1200'):
        check(text in resource, f"version resource has {text}")

    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
