#!/bin/sh
# Builds the engine and runs it on the bundled demo mod (data/main.lua), or
# on the mod given with "-mod path/to/main.lua"; every argument goes on to the
# engine. Installs the Debian packages it needs when they are missing.
set -eu
# The engine runs from the project folder, so a relative -mod path is made
# absolute against the caller's folder first. Any argument that follows a
# "-mod" is a path to the engine; one that is itself "-mod" stays as it is.
caller=$(pwd)
n=$#
prev=
for arg in "$@"; do
  value=$arg
  if [ "$prev" = "-mod" ] && [ "$arg" != "-mod" ]; then
    case $arg in
      /* | "") ;;
      *) value="$caller/$arg" ;;
    esac
  fi
  set -- "$@" "$value"
  prev=$arg
done
shift "$n"
cd "$(dirname "$0")"
. tools/packages.sh
packages_install
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only what the demo needs: ./test.sh builds the tests, benchmarks and fuzzers.
cmake --build build -j "$(nproc 2>/dev/null || echo 4)" --target borlix2
exec ./build/borlix2 "$@"
