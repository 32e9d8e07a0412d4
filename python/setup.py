"""Builds the extension module quillet._quillet from the library's own C++
sources, with the library's compiler flags and warning policy. Each
CPU-specific source is compiled apart, with its instruction set's flags, as
the library's CMake build does."""

import os
import platform
import re

from setuptools import Extension, setup

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SRC = os.path.join(ROOT, "src")


def version():
    with open(os.path.join(ROOT, "include", "quillet", "quillet.h")) as f:
        header = f.read()
    parts = [re.search(rf"#define QUILLET_VERSION_{p} (\d+)", header).group(1)
             for p in ("MAJOR", "MINOR", "PATCH", "TWEAK")]
    return ".".join(parts)


def relative(*path):
    # Through the link engine -> ../src: setuptools wants relative source
    # paths, and a path with ".." would put the objects outside the build
    # directory.
    return os.path.join("engine", os.path.relpath(os.path.join(*path), SRC))


WARNINGS = ["-Wall", "-Wextra", "-Wpedantic", "-Wshadow", "-Wconversion", "-Wsign-conversion",
            "-Wcast-align", "-Wundef", "-Werror"]
COMMON = ["-std=c++20", "-O3", "-fPIC", "-fvisibility=hidden", "-fno-exceptions", "-fno-rtti",
          *WARNINGS]
INCLUDES = [SRC, os.path.join(ROOT, "include")]

engine = [relative(SRC, p) for p in (
    "sha1/sha1.cpp", "sha1/dispatch.cpp", "md5/md5.cpp", "password/double_hash.cpp",
    "api/algorithms.cpp", "api/digest.cpp", "api/hashers.cpp")]

# (name, sources, extra flags): one static library per instruction set.
libraries = [("quillet_engine", engine, [])]
machine = platform.machine().lower()
if machine in ("x86_64", "amd64", "i386", "i686", "x86"):
    sse2 = ["-msse2"] if machine not in ("x86_64", "amd64") else []
    libraries += [
        ("quillet_sse2", [relative(SRC, "sha1/sha1_sse2.cpp")], sse2),
        ("quillet_avx2", [relative(SRC, "sha1/sha1_avx2.cpp")], ["-mavx2", "-mbmi", "-mbmi2"]),
        ("quillet_shani", [relative(SRC, "sha1/sha1_shani.cpp")], ["-msha", "-mssse3", "-msse4.1"]),
        ("quillet_shani_avx2", [relative(SRC, "sha1/sha1_shani_broken.cpp")],
         ["-msha", "-mssse3", "-msse4.1", "-mavx2", "-fexceptions"]),  # see src/CMakeLists.txt
        ("quillet_shani_avx512", [relative(SRC, "sha1/sha1_shani_broken512.cpp")],
         ["-msha", "-mssse3", "-msse4.1", "-mavx2", "-mavx512f", "-mavx512vl", "-fexceptions"]),
    ]
    definitions = []
else:
    definitions = [("QUILLET_PORTABLE_ONLY", None)]

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
        define_macros=definitions,
        extra_compile_args=COMMON,
        # The CPU-specific libraries come first: the engine refers to them.
        libraries=[name for name, _, _ in reversed(libraries)],
        language="c++",
    )],
)
