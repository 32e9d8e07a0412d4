#!/bin/sh
# Builds the package into a fresh virtual environment in the build tree and
# runs its tests there, beside the library's C exports:
#   python/run_tests.sh BUILD_DIR
# (BUILD_DIR holds src/libquillet.so; the environment is BUILD_DIR/python-venv.)
set -eu
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
venv=$build/python-venv
rm -rf "$venv"
python3 -m venv "$venv"
"$venv/bin/python" -m pip install --quiet --no-build-isolation --no-index "$here"
cd "$build"  # away from the source tree, so the installed package is the one imported
QUILLET_LIBRARY=$build/src/libquillet.so "$venv/bin/python" -m unittest discover -s "$here/tests" -v
# And the README's example of the package, with this environment's Python.
python3 "$here/../tests/check_readme.py" "$here/../README.md" "$build" --python "$venv/bin/python"
