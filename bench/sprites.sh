#!/bin/sh
# The sprite frame beside its reference, in one run: wall-clock milliseconds
# per frame of N sprites (1,000, 10,000 and 50,000) for
#   frame   the mod's frame: its _paint queueing N qel_image_draw commands,
#           the queue played, the swap (no pacing sleep)
#   direct  the same sprites blitted from C++ with gfx_img_blit
#   raw     the reference: a raw batched loop of our own, the N quads in
#           client arrays and one glDrawArrays, with the same clear and swap
# and the ratios to raw. Repetitions are interleaved at random, so that a
# machine busy with other work slows every benchmark alike; the table gives
# medians, and the ratios of the fastest runs beside those of the medians.
# Runs build/bench/bench_sprites under an X server of its own (Xvfb).
#   bench/sprites.sh [repetitions]     default: 10
# Needs the release tree: cmake --build build --target bench_sprites
set -eu
cd "$(dirname "$0")/.."
bin=build/bench/bench_sprites
[ -x "$bin" ] || { echo "sprites.sh: build $bin first"; exit 1; }
reps=${1:-10}
. tools/xvfb.sh
xvfb_start
export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent

"$bin" --benchmark_filter='^BM_(ModFrame|RefDirectBlit|RefRawBatched)/' --benchmark_min_time=0.3 \
  --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true \
  --benchmark_out="$xdir/runs.csv" --benchmark_out_format=csv >"$xdir/log" 2>&1 ||
  { tail -n 20 "$xdir/log"; exit 1; }

# One line per run: kind, sprites, milliseconds; sorted, so that each group's
# first line is its fastest and its middle one its median.
awk -F, '$1 ~ /^"BM_/ && $1 !~ /_(mean|median|stddev|cv)"$/ {
    split($1, p, "/"); kind = substr(p[1], 5); print kind, p[2], $3
  }' "$xdir/runs.csv" | sort -k1,1 -k2,2n -k3,3g | awk '
  { key = $1 " " $2; t[key, ++n[key]] = $3; sizes[$2] = 1 }
  END {
    printf "%8s %10s %10s %10s %11s %11s   (ms per frame, medians of %d runs)\n", "sprites", "frame", "direct", "raw", "frame/raw", "direct/raw", n["RefRawBatched 1000"]
    for (s in sizes) order[++k] = s + 0
    for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (order[j] < order[i]) { x = order[i]; order[i] = order[j]; order[j] = x }
    for (i = 1; i <= k; i++) {
      s = order[i]
      f = med("ModFrame " s); d = med("RefDirectBlit " s); r = med("RefRawBatched " s)
      fm = t["ModFrame " s, 1]; dm = t["RefDirectBlit " s, 1]; rm = t["RefRawBatched " s, 1]
      printf "%8d %10.2f %10.2f %10.2f %5.2f (%4.2f) %5.2f (%4.2f)\n", s, f, d, r, f / r, fm / rm, d / r, dm / rm
    }
    print "(in brackets: the ratio of the fastest runs)"
  }
  function med(key,   m) { m = n[key]; return m % 2 ? t[key, (m + 1) / 2] : (t[key, m / 2] + t[key, m / 2 + 1]) / 2 }'
