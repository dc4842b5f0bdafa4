#!/bin/sh
# Measures the frame pacing of the empty main loop: 600 frames of a mod that
# does nothing, under an X server of its own (Xvfb, 1600x900), each interval
# against the ideal 16.67 ms. Arguments go to the engine's command line, so
# "-mod data/main.lua" measures the demo mod instead.
# Needs the release tree: cmake --build build (builds build/bench/bench_frame_pacing).
set -eu
cd "$(dirname "$0")/.."
bin=build/bench/bench_frame_pacing
[ -x "$bin" ] || { echo "frame_pacing.sh: build $bin first (cmake --build build)"; exit 1; }
xdir=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp 3>"$xdir/display" >"$xdir/log" 2>&1 &
xpid=$!
trap 'kill $xpid 2>/dev/null; rm -rf "$xdir"' EXIT INT TERM
i=0
while [ ! -s "$xdir/display" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
[ -s "$xdir/display" ] || { echo "frame_pacing.sh: Xvfb did not start"; exit 1; }
: >"$xdir/main.lua"
DISPLAY=":$(cat "$xdir/display")" SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy \
  DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent "$bin" -mod "$xdir/main.lua" "$@"
