#!/bin/bash
# Long fuzzing of every libFuzzer target, one core each, several at a time,
# in the clang tree (build-fuzz/, AddressSanitizer + UndefinedBehaviorSanitizer).
#
#   tools/fuzz_long.sh [minutes per target] [targets...]
#
# Each target starts from its committed seeds (fuzz/corpus/<name>/) and grows a
# corpus of its own under build-fuzz/long/<name>/corpus. libFuzzer runs in fork
# mode, so a crash, a leak, an input slower than 1 s or one that takes more than
# 2 GB is saved as an artifact in build-fuzz/long/<name>/ and the run goes on.
# At the end one line per target: minutes, executions, coverage, findings.
# Exits 1 when any target found anything. Not part of ./test.sh.
set -eu
cd "$(dirname "$0")/.."
minutes=${1:-60}
[ $# -gt 0 ] && shift
jobs=${FUZZ_JOBS:-$(nproc 2>/dev/null || echo 4)}

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j "$jobs" >/dev/null

if [ $# -gt 0 ]; then
  targets="$*"
else
  targets=$(for t in build-fuzz/fuzz/fuzz_*; do [ -x "$t" ] && basename "$t" | sed 's/^fuzz_//'; done)
fi

# The same environment as the test run: no session bus, the known leaks of
# the GL stack left out.
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy

run_one() {
  name=$1
  out=build-fuzz/long/$name
  mkdir -p "$out/corpus"
  "build-fuzz/fuzz/fuzz_$name" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -timeout=1 -rss_limit_mb=2048 -max_total_time=$((minutes * 60)) -close_fd_mask=3 \
    -artifact_prefix="$out/" "$out/corpus" "fuzz/corpus/$name" >"$out/log" 2>&1 || true
}

running=0
for name in $targets; do
  run_one "$name" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n 2>/dev/null || wait
    running=$((running - 1))
  fi
done
wait

found=0
printf '%-16s %8s %14s %8s %s\n' target minutes executions cov findings
for name in $targets; do
  out=build-fuzz/long/$name
  # Fork mode reports "#<executions>: cov: <n> ft: ..." as it goes.
  last=$(grep -E '^#[0-9]+: cov: ' "$out/log" | tail -n 1)
  execs=$(echo "$last" | sed -E 's/^#([0-9]+):.*/\1/')
  cov=$(echo "$last" | sed -E 's/.* cov: ([0-9]+) .*/\1/')
  artifacts=$(find "$out" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
    -o -name 'oom-*' -o -name 'slow-unit-*' \) | wc -l)
  [ "$artifacts" -gt 0 ] && found=1
  printf '%-16s %8s %14s %8s %s\n' "$name" "$minutes" "${execs:-?}" "${cov:-?}" "$artifacts"
done
exit $found
