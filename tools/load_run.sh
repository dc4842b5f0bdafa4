#!/bin/sh
# Runs the CTest suites of built trees on a machine made as busy as a shared
# CI runner, several times, and prints each run's passed and failed counts: no
# test may depend on the machine being idle. Twelve busy processes (`yes`)
# always run beside the suites, and with them one of these loads:
#
#   build  (the default) the project compiled from scratch in a scratch tree,
#          again and again, with as many jobs as there are cores, as another
#          job's builds would
#   suite  the release suite of a scratch tree (built first) run again and
#          again on an X server of its own, as a second ./test.sh would
#   yes    nothing more
#
# The tests run in the environment test.sh gives them (tools/test_env.sh).
# Not part of ./test.sh; build the trees first.
#
#   tools/load_run.sh [-l build|suite|yes] [runs [tree...]]
#                                   3 runs each of build and build-asan
#
# Each run's CTest output is kept in <tree>/load_run.<run>.log, and the
# names of the tests that failed are printed. Exits 1 when any run failed.
set -eu
cd "$(dirname "$0")/.."
load=build
while getopts l: opt; do
  case $opt in
    l) load=$OPTARG ;;
    *) echo "usage: tools/load_run.sh [-l build|suite|yes] [runs [tree...]]"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
case $load in
  build | suite | yes) ;;
  *) echo "load_run.sh: no load '$load' (build, suite or yes)"; exit 2 ;;
esac
runs=${1:-3}
[ $# -gt 0 ] && shift
trees=${*:-build build-asan}
for tree in $trees; do
  [ -f "$tree/CTestTestfile.cmake" ] || { echo "load_run.sh: $tree is not a built tree"; exit 1; }
done
jobs=$(nproc 2>/dev/null || echo 4)

busy=""
loadpid=""
scratch=""
# The load runs in a process group of its own (setsid), so that its
# compilers, tests and X server end with it: load_started waits until the
# group is there for load_stop to end.
load_started() {
  loadpid=$!
  while kill -0 "$loadpid" 2>/dev/null && [ "$(ps -o pgid= -p "$loadpid" | tr -d ' ')" != "$loadpid" ]; do
    sleep 0.1
  done
}
load_stop() {
  [ -z "$busy" ] || kill $busy 2>/dev/null || true
  if [ -n "$loadpid" ]; then
    kill -TERM "-$loadpid" 2>/dev/null || true
    wait "$loadpid" 2>/dev/null || true
  fi
  [ -z "$scratch" ] || rm -rf "$scratch"
  xvfb_stop
}
. tools/test_env.sh
test_env_start
trap load_stop EXIT
trap 'exit 130' INT TERM
for i in 1 2 3 4 5 6 7 8 9 10 11 12; do
  yes >/dev/null &
  busy="$busy $!"
done

if [ "$load" != yes ]; then
  scratch=$(mktemp -d)
  cmake -S . -B "$scratch/tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$scratch/load.log" 2>&1 ||
    { cat "$scratch/load.log"; echo "load_run.sh: the scratch tree did not configure"; exit 1; }
fi
case $load in
  build)
    echo "load: twelve yes, and the project compiled from scratch with -j $jobs again and again"
    setsid sh -c 'while :; do cmake --build "$1" --clean-first -j "$2" >/dev/null 2>&1; done' \
      load "$scratch/tree" "$jobs" &
    load_started
    ;;
  suite)
    start=$(date +%s)
    cmake --build "$scratch/tree" -j "$jobs" >"$scratch/load.log" 2>&1 ||
      { tail -n 40 "$scratch/load.log"; echo "load_run.sh: the scratch tree did not build"; exit 1; }
    echo "load: twelve yes, and the release suite of a scratch tree (built in $(($(date +%s) - start)) s)" \
      "again and again"
    # Its own X server: the suites' windows must not meet. Its temporary
    # directory is in the scratch directory, removed at the end.
    TMPDIR=$scratch setsid sh -c '. tools/test_env.sh; test_env_start; trap "xvfb_stop; exit 143" TERM
      while :; do ctest --test-dir "$1" -j "$2" >/dev/null 2>&1 || true; done' load "$scratch/tree" "$jobs" &
    load_started
    ;;
  yes) echo "load: twelve yes" ;;
esac

status=0
for tree in $trees; do
  run=1
  while [ "$run" -le "$runs" ]; do
    log="$tree/load_run.$run.log"
    start=$(date +%s)
    ctest --test-dir "$tree" --output-on-failure -j "$jobs" >"$log" 2>&1 || status=1
    took=$(($(date +%s) - start))
    loadavg=$(cut -d ' ' -f 1 /proc/loadavg)
    # "97% tests passed, 3 tests failed out of 1100"
    counts=$(sed -n 's/.* tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$log")
    if [ -z "$counts" ]; then
      echo "$tree run $run: no summary from ctest (${took} s, load average $loadavg), see $log"
      status=1
    else
      set -- $counts
      echo "$tree run $run: $(($2 - $1)) passed, $1 failed (${took} s, load average $loadavg)"
      [ "$1" -eq 0 ] || sed -n '/^The following tests FAILED:/,$p' "$log" | grep -E '^[[:space:]]+[0-9]+ - ' || true
    fi
    run=$((run + 1))
  done
done
exit $status
