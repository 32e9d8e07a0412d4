#!/bin/sh
# Builds the parent project with Quillet as add_subdirectory and as
# FetchContent from the local tree, and runs what it built.
#   run.sh SOURCE_DIR SCRATCH_DIR
set -eu
source=$1
scratch=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$scratch"
for how in add_subdirectory FetchContent; do
  cmake -S "$here" -B "$scratch/$how" -G Ninja -DQUILLET_SOURCE="$source" -DHOW=$how \
    -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build "$scratch/$how" >/dev/null
  test "$("$scratch/$how/parent_cpp")" = a9993e364706816aba3e25717850c26c9cd0d89d
  test "$("$scratch/$how/parent_c")" = 900150983CD24FB0D6963F7D28E17F72
  # No install rules of Quillet's.
  if find "$scratch/$how" -path "*quillet*" -name cmake_install.cmake \
      -exec grep -l "file(INSTALL" {} + | grep -q .; then
    echo "$how: the subproject made install rules"; exit 1
  fi
  echo "$how: ok"
done
