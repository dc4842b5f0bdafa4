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
# The fuzz stage needs clang; without it the run would pass having skipped it.
command -v clang++ >/dev/null || { echo "test.sh: clang++ is missing after the package step (package clang)"; exit 1; }

jobs=$(nproc 2>/dev/null || echo 4)

# One X server for the whole run, no session bus, the sanitizers' options.
. tools/test_env.sh
test_env_start

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
TSAN_OPTIONS="halt_on_error=1" ctest --test-dir build-tsan -L tsan --no-tests=error --output-on-failure

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j "$jobs"
fuzz_seconds=${FUZZ_SECONDS:-5}
# Every target fuzz/CMakeLists.txt defines runs, and every fuzz/fuzz_*.cpp is
# one of them: a target that was not built, or a source left out of the list,
# fails the stage.
ran=0
for name in $(sed -n 's/^qel_add_fuzz(\([a-z0-9_]*\).*/\1/p' fuzz/CMakeLists.txt); do
  target=build-fuzz/fuzz/fuzz_$name
  [ -x "$target" ] || { echo "test.sh: fuzz target fuzz_$name was not built"; exit 1; }
  work=$(mktemp -d)
  echo "fuzz: fuzz_$name for ${fuzz_seconds}s"
  # New inputs go to a scratch directory; the committed seeds stay as they are.
  "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 -close_fd_mask=3 "$work" "fuzz/corpus/$name" \
    >"$work.log" 2>&1 || { tail -n 60 "$work.log"; rm -rf "$work" "$work.log"; exit 1; }
  rm -rf "$work" "$work.log"
  ran=$((ran + 1))
done
sources=$(ls fuzz/fuzz_*.cpp | wc -l)
[ "$ran" -eq "$sources" ] || { echo "test.sh: $ran fuzz targets ran, fuzz/ has $sources fuzz_*.cpp sources"; exit 1; }
echo "test.sh: all passed"
