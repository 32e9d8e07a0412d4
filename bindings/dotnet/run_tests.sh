#!/bin/sh
# Builds the C# assembly with Mono's mcs (warnings as errors) and runs its
# tests and the README's C# example against a build tree's library:
#
#     bindings/dotnet/run_tests.sh BUILD_DIR [CMAKE]
#     bindings/dotnet/run_tests.sh BUILD_DIR --bench [ROUNDS]   bench/dotnet_bench.cs
#
# The assembly, its .config and the programs go to BUILD_DIR/dotnet;
# QUILLET_LIBRARY_DIR names the library's directory where it is not
# BUILD_DIR/src. With CMAKE, the build tree is installed under
# BUILD_DIR/dotnet-install and the example runs again over the installed
# library. Exits 77 when mcs or mono is missing.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
cmake=${2:-}
for tool in mcs mono; do
  if ! command -v $tool >/dev/null 2>&1; then
    echo "SKIPPED: $tool not found (Debian: apt-get install mono-mcs mono-runtime)"
    exit 77
  fi
done
out="$build/dotnet"
mkdir -p "$out"
mcs="mcs -warnaserror+ -warn:4 -nologo"
$mcs -optimize+ -unsafe -target:library -out:"$out/Quillet.Net.dll" "$here/Quillet.cs"
cp "$here/Quillet.Net.dll.config" "$out/"
$mcs -r:"$out/Quillet.Net.dll" -out:"$out/QuilletTests.exe" "$here/QuilletTests.cs"
$mcs -r:"$out/Quillet.Net.dll" -out:"$out/Digest.exe" "$here/examples/Digest.cs"

export LD_LIBRARY_PATH="${QUILLET_LIBRARY_DIR:-$build/src}"
if [ "$cmake" = --bench ]; then
  $mcs -optimize+ -r:"$out/Quillet.Net.dll" -out:"$out/dotnet_bench.exe" "$here/../../bench/dotnet_bench.cs"
  exec mono "$out/dotnet_bench.exe" ${3:-}
fi
export QUILLET_KNOWN_ANSWERS="$here/../../tests/vectors/known_answers.txt"
mono --debug "$out/QuilletTests.exe"
python3 "$here/../../tests/check_readme.py" "$here/../../README.md" "$build" --dotnet "$out"

if [ -n "$cmake" ]; then
  prefix="$build/dotnet-install"
  rm -rf "$prefix"
  "$cmake" --install "$build" --prefix "$prefix" >/dev/null
  library=$(dirname "$(find "$prefix" -name libquillet.so.0)")
  printed=$(LD_LIBRARY_PATH="$library" mono "$out/Digest.exe")
  printed=$(echo "$printed" | head -n 1)
  echo "installed library: $printed"
  [ "$printed" = a9993e364706816aba3e25717850c26c9cd0d89d ]
fi
