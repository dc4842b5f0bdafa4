#!/bin/sh
# Builds and runs every test: a RelWithDebInfo tree (build/), an
# AddressSanitizer + UndefinedBehaviorSanitizer tree (build-asan/), a
# ThreadSanitizer tree for the tsan-labelled tests (build-tsan/), and the
# libFuzzer targets (build-fuzz/, clang) on their seed corpora.
# Installs the Debian packages it needs when they are missing.
set -eu
cd "$(dirname "$0")"
. tools/packages.sh
packages_install

jobs=$(nproc 2>/dev/null || echo 4)

# One X server for the whole run.
. tools/xvfb.sh
xvfb_start
# SDL's start-up talks to a session bus that does not exist here.
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQEL_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

# ThreadSanitizer: only the tests labelled tsan (the live audio callback
# against the main thread), so only their target is built.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_TSAN=ON >/dev/null
cmake --build build-tsan -j "$jobs" --target qel_tsan_tests
TSAN_OPTIONS="halt_on_error=1" ctest --test-dir build-tsan -L tsan --output-on-failure

if command -v clang++ >/dev/null; then
  cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  cmake --build build-fuzz -j "$jobs"
  fuzz_seconds=${FUZZ_SECONDS:-5}
  for target in build-fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    work=$(mktemp -d)
    echo "fuzz: $name for ${fuzz_seconds}s"
    # New inputs go to a scratch directory; the committed seeds stay as they are.
    "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 -close_fd_mask=3 "$work" "fuzz/corpus/${name#fuzz_}" \
      >"$work.log" 2>&1 || { tail -n 60 "$work.log"; rm -rf "$work" "$work.log"; exit 1; }
    rm -rf "$work" "$work.log"
  done
fi
echo "test.sh: all passed"
