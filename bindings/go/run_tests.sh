#!/bin/sh
# Runs the Go package's tests against the library built in BUILD_DIR:
#   bindings/go/run_tests.sh BUILD_DIR [go test arguments...]
# (BUILD_DIR holds src/libquillet.so, unless QUILLET_LIBRARY_DIR names where
# it is, and tests/model_answers.txt; Go's cache and module path are
# BUILD_DIR/go.) Offline: no module is fetched. Exits 77, saying so, where Go
# is not installed.
#   bindings/go/run_tests.sh build/release -run '^$' -bench .   the benchmarks
set -eu
build=$(cd "$1" && pwd)
shift
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
if ! command -v go >/dev/null 2>&1; then
  echo "SKIPPED: go not found"
  exit 77
fi
library=${QUILLET_LIBRARY_DIR:-$build/src}
export GOCACHE="$build/go/cache" GOPATH="$build/go/path" GOENV=off GOPROXY=off \
       GOFLAGS=-buildvcs=false GOTOOLCHAIN=local CGO_ENABLED=1
# The package's C is held to the library's rule: warnings are errors.
export CGO_CFLAGS="-I$root/include -O2 -Wall -Wextra -Werror"
export CGO_LDFLAGS="-L$library -Wl,-rpath,$library"
export QUILLET_KNOWN_ANSWERS="$root/tests/vectors/known_answers.txt"
if [ -z "${QUILLET_MODEL_ANSWERS:-}" ] && [ -f "$build/tests/model_answers.txt" ]; then
  export QUILLET_MODEL_ANSWERS="$build/tests/model_answers.txt"
fi
cd "$here"
unformatted=$(gofmt -l .)
if [ -n "$unformatted" ]; then
  echo "not formatted as gofmt formats them: $unformatted"
  exit 1
fi
go vet .
exec go test -count=1 "$@" .
