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
. tools/xvfb.sh
xvfb_start
: >"$xdir/main.lua"
SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent \
  "$bin" -mod "$xdir/main.lua" "$@"
