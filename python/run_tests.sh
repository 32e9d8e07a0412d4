#!/bin/sh
# Builds the package into a fresh virtual environment in the build tree and
# runs its tests there, beside the library's C exports:
#   python/run_tests.sh BUILD_DIR
# (BUILD_DIR holds src/libquillet.so; the environment is BUILD_DIR/python-venv.)
#
# Then the same tests on the oldest and the newest Python the package claims
# (QUILLET_OTHER_PYTHONS, by default "3.9 3.13"), each in an environment of
# its own (BUILD_DIR/python-venv-3.9, ...), both at once; a version that is
# not installed (on the PATH, under pyenv or in /usr) is skipped, and said so.
# Exits non-zero when any run fails.
set -eu
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
others=${QUILLET_OTHER_PYTHONS-3.9 3.13}

# The interpreter of version $1 (3.9), or nothing.
find_python() {
  for candidate in "${PYENV_ROOT:-$HOME/.pyenv}"/versions/"$1".*/bin/python"$1" \
                   /usr/bin/python"$1" /usr/local/bin/python"$1"; do
    if [ -x "$candidate" ] && "$candidate" -c "import sys" 2>/dev/null; then
      echo "$candidate"
      return
    fi
  done
}

# Builds and installs the package with $1 into the environment $2 and runs
# the tests there.
suite() {
  rm -rf "$2"
  "$1" -m venv "$2" || return
  if ! "$2/bin/python" -c "import setuptools" 2>/dev/null; then
    # Python 3.12 and later put no setuptools in a new environment; the
    # interpreter's own test data carries a wheel of it.
    wheels=$("$2/bin/python" -c "import sysconfig; print(sysconfig.get_path('stdlib'))")/test/wheeldata
    "$2/bin/python" -m pip install --quiet --no-index --find-links "$wheels" setuptools || return
  fi
  # Built with the tests' hooks (_gil_releases, Hash._locked), which the
  # tests then require.
  QUILLET_TEST_HOOKS=1 "$2/bin/python" -m pip install --quiet --no-build-isolation --no-index \
    "$here" || return
  # Away from the source tree, so that the installed package is the one imported.
  (cd "$build" && QUILLET_TEST_HOOKS=1 QUILLET_LIBRARY=$build/src/libquillet.so \
    "$2/bin/python" -m unittest discover -s "$here/tests" -v)
}

# The other versions are built and tested in the background while the
# default one is; their output follows the default one's.
pids=""
for version in $others; do
  python=$(find_python "$version")
  if [ -z "$python" ]; then
    echo "python $version: not installed, its run is skipped" > "$build/python-$version.log"
    echo 0 > "$build/python-$version.status"
    continue
  fi
  (
    status=0
    suite "$python" "$build/python-venv-$version" > "$build/python-$version.log" 2>&1 || status=$?
    echo "$status" > "$build/python-$version.status"
  ) &
  pids="$pids $!"
done

failed=0
suite python3 "$build/python-venv" || failed=1
# And the README's example of the package, with this environment's Python.
python3 "$here/../tests/check_readme.py" "$here/../README.md" "$build" \
  --python "$build/python-venv/bin/python" || failed=1

for pid in $pids; do
  wait "$pid" || true
done
for version in $others; do
  echo "=== python $version"
  cat "$build/python-$version.log"
  status=$(cat "$build/python-$version.status" 2>/dev/null || echo 1)
  if [ "$status" != 0 ]; then
    echo "python $version: FAILED (exit $status)"
    failed=1
  fi
  rm -f "$build/python-$version.log" "$build/python-$version.status"
done
exit "$failed"
