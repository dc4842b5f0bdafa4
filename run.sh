#!/bin/sh
# Builds the engine and runs it on the bundled demo mod (data/main.lua).
# Installs the Debian packages it needs when they are missing.
set -eu
cd "$(dirname "$0")"
. tools/packages.sh
packages_install
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 4)"
if [ ! -x build/borlix2 ]; then
  echo "run.sh: the engine executable is not built yet"
  exit 1
fi
exec ./build/borlix2 "$@"
