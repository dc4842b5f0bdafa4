#!/bin/sh
# The cost of one qel_image_draw command, split into the Lua call, the queue
# and its playing, as callgrind instruction counts (stable on a busy machine,
# unlike times). Runs build/bench/bench_sprites under callgrind for one frame
# of each sprite count, under an X server of its own (Xvfb, 1600x900).
#   bench/sprites_callgrind.sh [sprite counts...]     default: 1000 10000 50000
# Per command:
#   Lua call  the script's side but the queued command: the interpreter's loop
#             and call, the binding reading its twelve arguments
#   queue     building and appending the GCommand
#   play      playing the queue on the main thread: the name looked up, the
#             colour set, the blit, and the GL driver's vertex work for the
#             draw calls
#   raster    everything else in the frame, per command: almost all of it the
#             software GL's rasterising threads, which a GPU would take over
# Needs the release tree: cmake --build build --target bench_sprites
set -eu
cd "$(dirname "$0")/.."
bin=build/bench/bench_sprites
[ -x "$bin" ] || { echo "sprites_callgrind.sh: build $bin first"; exit 1; }
counts=${*:-1000 10000 50000}
. tools/xvfb.sh
xvfb_start
export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent

printf '%8s %10s %10s %10s %10s %12s   (instructions per command)\n' sprites "Lua call" queue play raster "frame total"
for n in $counts; do
  out="$xdir/callgrind.$n"
  valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$out" "$bin" --callgrind "$n" 1 \
    >"$xdir/run.$n.log" 2>&1 || { tail -n 20 "$xdir/run.$n.log"; exit 1; }
  # Inclusive counts of the functions of the split, one line each in the
  # per-function list (lines of inlined code and of calls left out).
  callgrind_annotate --inclusive=yes --threshold=100 "$out" 2>/dev/null | awk -v n="$n" '
    function count(line) { split(line, f, " "); gsub(",", "", f[1]); return f[1] + 0 }
    /PROGRAM TOTALS/ { total = count($0) }
    / \[\// && !/=>/ {
      if (!paint && index($0, "src/mods_lua.cpp:ModsLua::paint()")) paint = count($0)
      if (!queued && index($0, "src/mods_api.cpp:ModsAPI::image_draw(")) queued = count($0)
      if (!frame && index($0, "src/mods_batch.cpp:mods_paint(Game&)")) frame = count($0)
    }
    END {
      lua = paint - queued
      play = frame - paint
      printf "%8d %10.0f %10.0f %10.0f %10.0f %12.0f\n", n, lua / n, queued / n, play / n, (total - frame) / n, total
    }'
done
