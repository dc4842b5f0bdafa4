#!/bin/sh
# The engine's speed figures, each beside its reference, in one run, under an
# X server of its own (Xvfb 1600x900, Mesa's llvmpipe). Each ratio is the
# figure over its reference.
# - Sprites: a frame of N sprites that a mod draws through qel_image_draw
#   (bench_sprites BM_ModFrame/N: the script, the queue, the drawing and the
#   swap, without the pacing sleep) against the same sprites drawn as one raw
#   batched GL loop (BM_RefRawBatched/N); medians of 3, the repetitions of
#   all of them interleaved at random, so that other work on the machine
#   slows each alike.
# - Start-up: exec to exit of build/borlix2 on a mod that draws one image and
#   one text and quits after its second frame, against build/bench/bare_window
#   (SDL opening the engine's 1280x720 GL window and swapping twice); medians
#   of RUNS runs (default 30) of each, taken in turn. The engine runs once with
#   SDL's own choice of audio driver and once with SDL's dummy device. Beside
#   them, the bare window drawing one textured quad shows what drawing at all
#   costs on this rasteriser.
# - The audio callback mixing 32 samples and one stream (bench_audio
#   BM_Callback) against SDL_MixAudioFormat mixing the same; medians of 3.
# Not part of ./test.sh. Needs the release tree: cmake --build build
set -eu
cd "$(dirname "$0")/.."
for bin in build/borlix2 build/bench/bare_window build/bench/startup_time build/bench/bench_sprites \
  build/bench/bench_audio; do
  [ -x "$bin" ] || { echo "speed.sh: build $bin first (cmake --build build)"; exit 1; }
done
runs=${RUNS:-30}
. tools/xvfb.sh
xvfb_start
export SDL_VIDEODRIVER=x11 DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
unset SDL_AUDIODRIVER

# The median rows of a benchmark's CSV as "name argument time unit".
medians() {
  awk -F, '$1 ~ /_median"$/ { gsub(/"/, "", $1); split($1, p, "/"); print p[1], p[2], $3, $5 }' "$1"
}
# The time of one row of medians(), or nothing.
pick() { awk -v n="$2" -v a="$3" '$1 == n && $2 == a { print $3, $4 }' "$1"; }
bench() {
  out=$1
  shift
  SDL_AUDIODRIVER=dummy "$@" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
    --benchmark_out="$out" --benchmark_out_format=csv >"$out.log" 2>&1 || { tail -n 20 "$out.log"; exit 1; }
  medians "$out" >"$out.rows"
}

echo "sprites per frame, the frame's work without the pacing sleep (target: within 1.15x at 10,000 and 50,000)"
bench "$xdir/sprites.csv" build/bench/bench_sprites --benchmark_filter='^BM_(ModFrame|RefRawBatched)/(1000|10000|50000)/' \
  --benchmark_enable_random_interleaving=true
printf '  %8s %18s %22s %8s\n' sprites qel_image_draw "raw batched GL loop" ratio
for n in 1000 10000 50000; do
  mod=$(pick "$xdir/sprites.csv.rows" BM_ModFrame "$n")
  ref=$(pick "$xdir/sprites.csv.rows" BM_RefRawBatched "$n")
  echo "$n ${mod:--} ${ref:--}" | awk '{
    if ($2 == "-") { printf "  %8d %18s\n", $1, "(no BM_ModFrame)"; next }
    if ($4 == "-") { printf "  %8d %15.2f %s %22s %8s\n", $1, $2, $3, "(not in this build)", "-"; next }
    printf "  %8d %15.2f %s %19.2f %s %7.2fx\n", $1, $2, $3, $4, $5, $2 / $4 }'
done

echo "start-up, exec to exit after the second frame (one image, one text), medians of $runs runs"
echo "  (target: within 1.3x of the bare window's time, peak memory within 8 MiB of its)"
mkdir "$xdir/mod"
cat >"$xdir/mod/main.lua" <<'EOF'
local frames = 0
function _paint()
  qel_image_draw("black", 10, 10, 32, 32)
  qel_font_draw("console", 24, "start-up", 10, 60)
  frames = frames + 1
  if frames == 2 then qel_ext_call("exit") end
end
EOF
if build/borlix2 -mod "$xdir/mod/main.lua" 2>/dev/null | grep -q "_mixer: audio_init: OK"; then
  own="SDL's own audio driver, a device"
else
  own="SDL's own audio driver, no device"
fi
build/bench/startup_time "$runs" build/bench/bare_window -- build/bench/bare_window --quad -- \
  build/borlix2 -mod "$xdir/mod/main.lua" -- SDL_AUDIODRIVER=dummy build/borlix2 -mod "$xdir/mod/main.lua" \
  >"$xdir/startup"
printf '  %-44s %9s %13s %8s %11s\n' "" time "peak memory" ratio memory
awk -v own="$own" '
  BEGIN {
    name[1] = "bare SDL window (build/bench/bare_window)"
    name[2] = "the same, drawing one textured quad"
    name[3] = "borlix2, " own
    name[4] = "borlix2, SDL'"'"'s dummy audio device"
  }
  NR == 1 { t = $1; m = $4; printf "  %-44s %7.3f s %9.1f MiB\n", name[NR], $1, $4; next }
  { printf "  %-44s %7.3f s %9.1f MiB %7.2fx %+7.1f MiB\n", name[NR], $1, $4, $1 / t, $4 - m }
' "$xdir/startup"

echo "audio callback, 32 samples and one stream (target: no slower than before)"
bench "$xdir/audio.csv" build/bench/bench_audio \
  --benchmark_filter='^BM_(Callback|Reference_SDL_MixAudioFormat)/samples:32/stream:1$'
cb=$(pick "$xdir/audio.csv.rows" BM_Callback samples:32)
ref=$(pick "$xdir/audio.csv.rows" BM_Reference_SDL_MixAudioFormat samples:32)
echo "${cb:--} ${ref:--}" | awk '{
  if ($1 == "-" || $3 == "-") { print "  (BM_Callback or its reference not in this build)"; exit }
  us = $2 == "ns" ? 1000 : $2 == "us" ? 1 : 0
  if (us) printf "  the callback %.2f us, SDL_MixAudioFormat %.2f us, %.2fx\n", $1 / us, $3 / us, $1 / $3
  else printf "  the callback %.2f %s, SDL_MixAudioFormat %.2f %s, %.2fx\n", $1, $2, $3, $4, $1 / $3 }'
