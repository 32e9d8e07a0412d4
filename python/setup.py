"""Builds the extension module quillet._quillet from the library's own C++
sources, listed with their compiler flags in src/sources.json (the list the
CMake build reads too). Each CPU-specific source is compiled apart, with its
instruction set's flags."""

import json
import os
import platform
import re

from setuptools import Extension, setup

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SRC = os.path.join(ROOT, "src")

with open(os.path.join(SRC, "sources.json"), encoding="utf-8") as f:
    MANIFEST = json.load(f)


def version():
    with open(os.path.join(ROOT, "include", "quillet", "quillet.h")) as f:
        header = f.read()
    parts = [re.search(rf"#define QUILLET_VERSION_{p} (\d+)", header).group(1)
             for p in ("MAJOR", "MINOR", "PATCH", "TWEAK")]
    return ".".join(parts)


def source(path):
    # Through the link engine -> ../src: setuptools takes only paths inside
    # this directory.
    return os.path.join("engine", path)


# -g0: the interpreter's own flags ask for debug information, which would make
# the installed module many times the size of its code.
COMMON = ["-std=c++20", "-O3", "-g0", "-fPIC", "-fvisibility=hidden", *MANIFEST["library_flags"],
          *MANIFEST["warnings"], "-Werror"]
INCLUDES = [SRC, os.path.join(ROOT, "include")]

# (name, sources, extra flags): one static library per instruction set.
libraries = [("quillet_engine", [source(p) for p in MANIFEST["engine"] + MANIFEST["api"]], [])]
machine = platform.machine().lower()
if machine in ("x86_64", "amd64", "i386", "i686", "x86"):
    bits32 = machine not in ("x86_64", "amd64")
    for i, entry in enumerate(MANIFEST["x86"]):
        flags = entry["flags"] + (entry.get("flags_32_bit", []) if bits32 else [])
        libraries.append((f"quillet_x86_{i}", [source(entry["source"])], flags))
    definitions = []
elif machine in ("aarch64", "arm64"):
    for i, entry in enumerate(MANIFEST["aarch64"]):
        libraries.append((f"quillet_arm_{i}", [source(entry["source"])], entry["flags"]))
    definitions = []
else:
    definitions = [("QUILLET_PORTABLE_ONLY", None)]
# QUILLET_TEST_HOOKS=1 builds the module for the tests (python/run_tests.sh):
# with _gil_releases() and Hash._locked, which the installed package lacks.
hooks = [("QUILLET_TEST_HOOKS", None)] if os.environ.get("QUILLET_TEST_HOOKS") == "1" else []

setup(
    name="quillet",
    version=version(),
    packages=["quillet"],
    package_data={"quillet": ["py.typed", "*.pyi"]},
    libraries=[(name, {"sources": sources, "include_dirs": INCLUDES, "macros": definitions,
                       "cflags": COMMON + flags})
               for name, sources, flags in libraries],
    ext_modules=[Extension(
        "quillet._quillet",
        sources=["_quillet.cpp"],
        include_dirs=INCLUDES,
        define_macros=definitions + hooks,
        extra_compile_args=COMMON,
        # The CPU-specific libraries come first: the engine refers to them.
        libraries=[name for name, _, _ in reversed(libraries)],
        language="c++",
    )],
)
