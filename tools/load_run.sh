#!/bin/sh
# Runs the CTest suites of built trees with twelve busy processes beside them
# (`yes`), several times, and prints each run's passed and failed counts: no
# test may depend on the machine being idle. The tests run in the environment
# test.sh gives them (tools/test_env.sh). Not part of ./test.sh; build the
# trees first.
#
#   tools/load_run.sh [runs [tree...]]     3 runs each of build and build-asan
#
# Each run's CTest output is kept in <tree>/load_run.<run>.log, and the
# names of the tests that failed are printed. Exits 1 when any run failed.
set -eu
cd "$(dirname "$0")/.."
runs=${1:-3}
[ $# -gt 0 ] && shift
trees=${*:-build build-asan}
for tree in $trees; do
  [ -f "$tree/CTestTestfile.cmake" ] || { echo "load_run.sh: $tree is not a built tree"; exit 1; }
done

busy=""
. tools/test_env.sh
test_env_start
trap '[ -z "$busy" ] || kill $busy 2>/dev/null; xvfb_stop' EXIT
trap 'exit 130' INT TERM
for i in 1 2 3 4 5 6 7 8 9 10 11 12; do
  yes >/dev/null &
  busy="$busy $!"
done

jobs=$(nproc 2>/dev/null || echo 4)
status=0
for tree in $trees; do
  run=1
  while [ "$run" -le "$runs" ]; do
    log="$tree/load_run.$run.log"
    start=$(date +%s)
    ctest --test-dir "$tree" --output-on-failure -j "$jobs" >"$log" 2>&1 || status=1
    took=$(($(date +%s) - start))
    # "97% tests passed, 3 tests failed out of 1100"
    counts=$(sed -n 's/.* tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$log")
    if [ -z "$counts" ]; then
      echo "$tree run $run: no summary from ctest (${took} s), see $log"
      status=1
    else
      set -- $counts
      echo "$tree run $run: $(($2 - $1)) passed, $1 failed (${took} s)"
      [ "$1" -eq 0 ] || sed -n '/^The following tests FAILED:/,$p' "$log" | grep -E '^[[:space:]]+[0-9]+ - ' || true
    fi
    run=$((run + 1))
  done
done
exit $status
