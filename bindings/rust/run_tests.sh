#!/bin/sh
# The Rust crate's tests against a build tree's library, offline, and the
# README's Rust example built and run:
#
#     bindings/rust/run_tests.sh BUILD_DIR [CARGO]
#
# Cargo's output goes under BUILD_DIR/rust-target; the crate has no
# dependencies, so nothing is fetched (--offline) and the user's CARGO_HOME
# is only read. Exits 77 when there is no cargo.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
cargo=${2:-cargo}
if ! command -v "$cargo" >/dev/null 2>&1; then
  echo "SKIPPED: cargo not found"
  exit 77
fi
export CARGO_TARGET_DIR="$build/rust-target"
export CARGO_NET_OFFLINE=true
export QUILLET_LIB_DIR="$build/src"
export QUILLET_KNOWN_ANSWERS="$here/../../tests/vectors/known_answers.txt"
export QUILLET_MODEL_ANSWERS="$build/tests/model_answers.txt"
manifest="$here/Cargo.toml"
"$cargo" test --offline --manifest-path "$manifest"
"$cargo" build --offline --manifest-path "$manifest" --examples
python3 "$here/../../tests/check_readme.py" "$here/../../README.md" "$build" \
  --rust "$CARGO_TARGET_DIR/debug/examples"
