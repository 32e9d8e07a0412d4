#!/bin/sh
# The Rust crate's tests against a build tree's library, offline, and the
# README's Rust example built and run:
#
#     bindings/rust/run_tests.sh BUILD_DIR [CARGO [CMAKE]]
#
# Then, with CMAKE, the build tree installed under BUILD_DIR/rust-install
# and the example built again against it as pkg-config finds it. Warnings
# are errors, and so is code that rustfmt would change (where it is). Cargo's output goes under BUILD_DIR/rust-target*; the crate has no
# dependencies, so nothing is fetched (--offline) and the user's CARGO_HOME
# is only read. Exits 77 when there is no cargo.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
cargo=${2:-cargo}
cmake=${3:-}
if ! command -v "$cargo" >/dev/null 2>&1; then
  echo "SKIPPED: cargo not found"
  exit 77
fi
export CARGO_TARGET_DIR="$build/rust-target"
export CARGO_NET_OFFLINE=true
export RUSTFLAGS="-D warnings"
export QUILLET_LIB_DIR="$build/src"
export QUILLET_KNOWN_ANSWERS="$here/../../tests/vectors/known_answers.txt"
export QUILLET_MODEL_ANSWERS="$build/tests/model_answers.txt"
manifest="$here/Cargo.toml"
"$cargo" test --offline --manifest-path "$manifest"
if "$cargo" fmt --version >/dev/null 2>&1; then
  "$cargo" fmt --manifest-path "$manifest" --check
fi
"$cargo" build --offline --manifest-path "$manifest" --examples
python3 "$here/../../tests/check_readme.py" "$here/../../README.md" "$build" \
  --rust "$CARGO_TARGET_DIR/debug/examples"

if [ -n "$cmake" ]; then
  if ! command -v pkg-config >/dev/null 2>&1; then
    echo "pkg-config not found: the installed library's build not checked"
    exit 0
  fi
  prefix="$build/rust-install"
  rm -rf "$prefix"
  "$cmake" --install "$build" --prefix "$prefix" >/dev/null
  unset QUILLET_LIB_DIR
  pc=$(find "$prefix" -name quillet.pc)
  PKG_CONFIG_PATH=$(dirname "$pc") CARGO_TARGET_DIR="$build/rust-target-installed" \
    "$cargo" build --offline --manifest-path "$manifest" --examples
  printed=$("$build/rust-target-installed/debug/examples/digest" | head -n 1)
  echo "installed library: $printed"
  [ "$printed" = a9993e364706816aba3e25717850c26c9cd0d89d ]
fi
