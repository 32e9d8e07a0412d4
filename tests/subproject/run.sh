#!/bin/sh
# Builds the parent project with Quillet as add_subdirectory and as
# FetchContent from the local tree, and runs what it built.
#   run.sh SOURCE_DIR SCRATCH_DIR
set -eu
source=$1
scratch=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$scratch"
for how in add_subdirectory FetchContent add_subdirectory-none; do
  type=Debug
  case $how in *-none) type= ;; esac
  cmake -S "$here" -B "$scratch/$how" -G Ninja -DQUILLET_SOURCE="$source" -DHOW="${how%%-*}" \
    -DCMAKE_BUILD_TYPE="$type" -DEXPECTED_BUILD_TYPE="$type" \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
  cmake --build "$scratch/$how" >/dev/null
  # The library's own code is optimised whatever the parent's build type,
  # so that its stack wipe covers what its frames held.
  python3 - "$scratch/$how/compile_commands.json" "$source/src" <<'EOF'
import json, re, sys
commands, src = json.load(open(sys.argv[1])), sys.argv[2]
library = [c for c in commands if c["file"].startswith(src + "/")]
slow = [c["file"] for c in library if not re.search(r" -O[23s]( |$)", c["command"])]
if not library or slow:
    sys.exit(f"built without optimisation: {slow or 'no library source seen'}")
EOF
  test "$("$scratch/$how/parent_cpp")" = a9993e364706816aba3e25717850c26c9cd0d89d
  test "$("$scratch/$how/parent_c")" = 900150983CD24FB0D6963F7D28E17F72
  # No install rules of Quillet's.
  if find "$scratch/$how" -path "*quillet*" -name cmake_install.cmake \
      -exec grep -l "file(INSTALL" {} + | grep -q .; then
    echo "$how: the subproject made install rules"; exit 1
  fi
  echo "$how: ok"
done
