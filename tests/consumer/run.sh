#!/bin/sh
# Installs the build into a scratch prefix, then builds the consumer against
# it twice: with CMake's find_package and with pkg-config.
#   run.sh BUILD_DIR SCRATCH_DIR
set -eu
build=$1
scratch=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$scratch"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

cmake -S "$here" -B "$scratch/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
test "$("$scratch/cmake/consumer_cpp")" = a9993e364706816aba3e25717850c26c9cd0d89d
test "$(LD_LIBRARY_PATH="$prefix/lib" "$scratch/cmake/consumer_c")" = 900150983CD24FB0D6963F7D28E17F72
echo "find_package: ok"

libdir=$(ls -d "$prefix"/lib*/pkgconfig | head -n1)
export PKG_CONFIG_PATH="$libdir"
# shellcheck disable=SC2046
# A C++23 consumer: the .pc file states no standard of its own.
c++ -std=c++23 -o "$scratch/pc_cpp" "$here/consumer.cpp" $(pkg-config --cflags --libs quillet-digest)
# shellcheck disable=SC2046
cc -o "$scratch/pc_c" "$here/consumer.c" $(pkg-config --cflags --libs quillet)
test "$("$scratch/pc_cpp")" = a9993e364706816aba3e25717850c26c9cd0d89d
test "$(LD_LIBRARY_PATH="$(dirname "$libdir")" "$scratch/pc_c")" = 900150983CD24FB0D6963F7D28E17F72
echo "pkg-config: ok"
