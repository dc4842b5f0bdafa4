#!/bin/sh
# The soak run: the real executable for a long time on a mod that draws
# 10,000 sprites and text every frame, plays samples and a looping stream,
# and writes and reads back a save every 2 seconds (bench/soak_mod), while
# this script rewrites one of the mod's scripts, a picture, a font and a sound
# every 3 seconds: two valid versions in turn and, every tenth time, a damaged
# one. The resident memory of the process is read every 10 seconds.
#   bench/soak.sh [minutes [tree]]     default 60 minutes on build/
#   SOAK_MINUTES, SOAK_TREE            the same as variables
#   SOAK_WARMUP                        seconds before memory is judged, default
#                                      300 (half the run when that is shorter)
#   SOAK_OUT                           the results folder, default <tree>/soak
# It passes (exit status 0) when at the end the process is alive and a key
# sent through the X server reaches the mod's _event; every valid file
# rewritten was read again and every damaged one gave its line in the log
# (below); no entry point failed and every save read back whole; the process
# then exits with status 0 and no sanitizer report. In a tree without
# sanitizers the resident memory may also grow by less than 2 MiB after the
# warm-up (the lowest sample of the last minute against the lowest of the
# minute after the warm-up); in the AddressSanitizer tree (whose allocator
# holds freed memory back in a quarantine of up to 256 MiB) memory is shown,
# not judged.
#
# What each rewrite must bring into the log before the next one:
#   part.lua      valid: the mod's "soak: part A|B"; damaged: the Lua error
#                 naming [string "part.lua"]
#   sprite.png    valid: "loaded .../sprite.png" with its size (16,16) or
#                 (32,16); damaged: "stbi_load failed .../sprite.png"
#   soakfont.fnt  valid: the mod's "soak: font width N", the other version's
#                 width; damaged: a line naming .../soakfont.fnt
#   click.wav     any version: "sample reload: .../click.wav" (a changed sound
#                 is announced, the old one plays on)
# Sound goes to SDL's dummy driver, which paces the mixing callback in real
# time and writes nothing. Results in the results folder: soak.log (the
# engine's standard output and error with this script's markers), rss.dat,
# rss.png (the memory curve, drawn with gnuplot), damaged.txt (every damaged
# rewrite and its line).
# Needs build/bench/soak_fixtures and <tree>/borlix2:
#   cmake --build build --target soak_fixtures borlix2
set -eu
cd "$(dirname "$0")/.."
root=$PWD
minutes=${1:-${SOAK_MINUTES:-60}}
tree=${2:-${SOAK_TREE:-build}}
tree=${tree%/}
bin=$tree/borlix2
maker=build/bench/soak_fixtures
for f in "$bin" "$maker"; do
  [ -x "$f" ] || { echo "soak.sh: build $f first (cmake --build ${f%%/*} --target $(basename "$f"))"; exit 2; }
done
# A program older than its code would soak old code.
for f in "$bin:util src ext" "$maker:bench/soak_fixtures.cpp tests/support"; do
  newer=$(find ${f#*:} -newer "${f%%:*}" \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null | head -n 1)
  [ -z "$newer" ] || { echo "soak.sh: ${f%%:*} is older than $newer: build it again" \
    "(cmake --build ${f%%/*} --target $(basename "${f%%:*}"))"; exit 2; }
done
command -v gnuplot >/dev/null || { echo "soak.sh: gnuplot is missing (tools/packages.sh installs it)"; exit 2; }
duration=$(awk -v m="$minutes" 'BEGIN { d = int(m * 60 + 0.5); print (d > 0 ? d : 0) }')
[ "$duration" -ge 30 ] || { echo "soak.sh: the run must last at least half a minute"; exit 2; }
warmup=${SOAK_WARMUP:-300}
[ "$warmup" -le $((duration / 2)) ] || warmup=$((duration / 2))
sanitized=0
grep -q '^QEL_SANITIZE:BOOL=ON' "$tree/CMakeCache.txt" 2>/dev/null && sanitized=1
out=${SOAK_OUT:-$tree/soak}
mkdir -p "$out"
rm -f "$out/soak.log" "$out/rss.dat" "$out/rss.png" "$out/damaged.txt" "$out/rewrites.txt" "$out/fixtures.log"
log=$out/soak.log

. tools/xvfb.sh
xvfb_start
pid=""
trap '[ -n "$pid" ] && kill $pid 2>/dev/null; kill $xpid 2>/dev/null; rm -rf "$xdir"' EXIT
trap 'exit 130' INT TERM

# The mod and its files, each rewritten file starting as its version A.
mod=$xdir/mod
mkdir -p "$mod" "$xdir/docs"
"$maker" "$mod" >"$out/fixtures.log" 2>&1 || { cat "$out/fixtures.log"; exit 2; }
cp bench/soak_mod/main.lua "$mod/"
cp bench/soak_mod/part_a.lua bench/soak_mod/part_b.lua "$mod/"
# Cut off from its first "end" on: the function stays open.
sed '/^end$/,$d' bench/soak_mod/part_a.lua >"$mod/part_bad.lua"
cp "$mod/part_a.lua" "$mod/part.lua"
cp "$mod/sprite_a.png" "$mod/sprite.png"
cp "$mod/soakfont_a.fnt" "$mod/soakfont.fnt"
cp "$mod/click_a.wav" "$mod/click.wav"

# The engine finds data/ from the working folder; saves go to the documents
# folder under XDG_DATA_HOME.
export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy XDG_DATA_HOME="$xdir/docs"
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
unset APPDATA SDL_DISKAUDIODELAY

now() { date +%s; }
mark() { echo "soak.sh: $*" >>"$log"; }
alive() { kill -0 "$pid" 2>/dev/null && ! grep -q '^State:.*zombie' "/proc/$pid/status" 2>/dev/null; }

# Copies a version over a file of the mod through a rename, stamped with the
# current second: newer than any earlier version, so the watchers see it.
rewrite() {
  cp "$mod/$1" "$mod/$2.new"
  touch -d "@$3" "$mod/$2.new"
  mv -f "$mod/$2.new" "$mod/$2"
}

echo "soak.sh: $tree/borlix2 for $duration s (memory judged after $warmup s), results in $out"
t0=$(now)
"$bin" -mod "$mod/main.lua" >>"$log" 2>&1 &
pid=$!
# The rewrites start once the mod runs: its first _loop measures the font.
i=0
while alive && ! grep -q 'ModsAPI: soak: font width' "$log" && [ $i -lt 600 ]; do sleep 0.2; i=$((i + 1)); done
grep -q 'ModsAPI: soak: font width' "$log" || { tail -n 40 "$log"; echo "soak.sh: FAIL: the mod did not start"; exit 1; }

# Every 10 s the resident memory; every 3 s the four files. Valid versions
# alternate A, B, A, ... (the first rewrite is B); every tenth is damaged.
: >"$out/rss.dat"
next_rss=$t0
next_write=$(($(now) + 3))
cycle=0
valid=1
while :; do
  t=$(now)
  [ $t -lt $((t0 + duration)) ] || break
  alive || break
  if [ $t -ge $next_rss ]; then
    kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$kb" ] && echo "$((t - t0)) $kb" >>"$out/rss.dat"
    next_rss=$((next_rss + 10))
  fi
  if [ $t -ge $next_write ]; then
    if [ $((cycle % 10)) -eq 9 ]; then
      v=X
      suffix=bad
    else
      if [ $((valid % 2)) -eq 0 ]; then v=A; suffix=a; else v=B; suffix=b; fi
      valid=$((valid + 1))
    fi
    mark "cycle $cycle $((t - t0)) $v"
    rewrite "part_$suffix.lua" part.lua $t
    rewrite "sprite_$suffix.png" sprite.png $t
    rewrite "soakfont_$suffix.fnt" soakfont.fnt $t
    rewrite "click_$suffix.wav" click.wav $t
    cycle=$((cycle + 1))
    # Three seconds from this write, whatever this turn cost.
    next_write=$((t + 3))
  fi
  sleep 0.2
done

# The last rewrite's reload, then the final input: "x" must reach _event.
fail=""
if alive; then
  sleep 4
  kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
  [ -n "$kb" ] && echo "$(($(now) - t0)) $kb" >>"$out/rss.dat"
fi
t_end=$(($(now) - t0))
mark "final $t_end"
input="not sent: the process had ended"
if alive; then
  window=$(timeout 20 xdotool search --name '^QelGame$' 2>/dev/null | head -n 1 || true)
  if [ -z "$window" ]; then
    input="not sent: no window"
  else
    sent=$(date +%s.%N)
    timeout 20 xdotool windowfocus --sync "$window" key x >/dev/null 2>&1 || true
    input="key x sent at $t_end s, not seen in 30 s"
    i=0
    while [ $i -lt 150 ]; do
      if sed -n '/^soak.sh: final /,$p' "$log" | grep -q 'ModsAPI: soak: event keydown X$'; then
        input=$(awk -v s="$sent" -v e="$(date +%s.%N)" -v t="$t_end" \
          'BEGIN { printf "key x sent at %d s, seen by _event within %.1f s", t, e - s }')
        break
      fi
      sleep 0.2
      i=$((i + 1))
    done
    case $input in *"seen by"*) ;; *) fail="$fail final-input" ;; esac
    # Escape asks the mod to end the program, so its shutdown and the leak
    # check run too.
    timeout 20 xdotool windowfocus --sync "$window" key Escape >/dev/null 2>&1 || true
  fi
else
  fail="$fail died"
fi
if [ -z "$fail" ]; then
  i=0
  while alive && [ $i -lt 600 ]; do sleep 0.2; i=$((i + 1)); done
fi
if alive; then
  kill $pid
  status="killed: it did not end within 2 minutes of Escape"
  fail="$fail no-exit"
  wait $pid 2>/dev/null || true
else
  rc=0
  wait $pid || rc=$?
  status="exit status $rc"
  [ $rc -eq 0 ] || fail="$fail exit-status"
fi
pid=""

# The rewrites against the log: each marker opens the window of its cycle.
awk -v mod="$mod" -v report="$out/damaged.txt" '
  function kinds() { split("part.lua sprite.png soakfont.fnt click.wav", kind, " ") }
  function judge(   i, k) {
    if (cycle == "") return
    for (i = 1; i <= 4; i++) {
      k = kind[i]
      if (ver == "X") {
        bad[k]++
        if (got[k]) { bad_ok[k]++; printf "cycle %d (%d s) %s: %s\n", cycle, at, k, line[k] > report }
        else miss = miss sprintf("  cycle %d (%d s) %s damaged: no line naming it before the next rewrite\n", cycle, at, k)
      } else {
        good[k]++
        if (got[k]) good_ok[k]++
        else miss = miss sprintf("  cycle %d (%d s) %s %s: not read again before the next rewrite\n", cycle, at, k, ver)
      }
      got[k] = 0
    }
  }
  BEGIN { kinds(); img["A"] = "(16,16)->"; img["B"] = "(32,16)->"; width = "" }
  /^soak\.sh: / { judge(); cycle = ""; if ($2 == "cycle") { cycle = $3; at = $4; ver = $5 }; next }
  /ModsAPI: soak: font width [0-9]+$/ {
    w = $NF
    if (cycle == "") { width = w; seen_width["A"] = w; next }
    if (ver != "X" && w != width && (!(ver in seen_width) || seen_width[ver] == w)) { seen_width[ver] = w; got["soakfont.fnt"] = 1 }
    width = w
  }
  cycle == "" { next }
  ver == "X" && index($0, "[string \"part.lua\"]") { got["part.lua"] = 1; line["part.lua"] = $0 }
  ver != "X" && $0 ~ ("ModsAPI: soak: part " ver "$") { got["part.lua"] = 1 }
  ver == "X" && index($0, "stbi_load failed " mod "/sprite.png") { got["sprite.png"] = 1; line["sprite.png"] = $0 }
  ver != "X" && index($0, "loaded " mod "/sprite.png as ") && index($0, img[ver]) { got["sprite.png"] = 1 }
  ver == "X" && index($0, mod "/soakfont.fnt") { got["soakfont.fnt"] = 1; line["soakfont.fnt"] = $0 }
  index($0, "sample reload: " mod "/click.wav") { got["click.wav"] = 1; line["click.wav"] = $0 }
  END {
    judge()
    for (i = 1; i <= 4; i++) {
      k = kind[i]
      printf "  %-13s valid %d/%d read again, damaged %d/%d with a line\n", k, good_ok[k] + 0, good[k] + 0, bad_ok[k] + 0, bad[k] + 0
      if (good_ok[k] != good[k] || bad_ok[k] != bad[k]) failed = 1
    }
    printf "%s", miss
    exit failed
  }' "$log" >"$out/rewrites.txt" || fail="$fail rewrites"
: >>"$out/damaged.txt"

# The mod itself: no failed entry point, every save read back whole.
entry_errors=$(grep 'Lua error' "$log" | grep -vc ':script:' || true)
save_errors=$(grep -c 'ModsAPI: soak: save .* read back' "$log" || true)
saves=$(grep 'ModsAPI: soak: beat ' "$log" | tail -n 1 | sed -n 's/.* saves=\([0-9]*\).*/\1/p')
[ "$entry_errors" -eq 0 ] || fail="$fail entry-point-errors"
[ "$save_errors" -eq 0 ] || fail="$fail saves"
[ -n "$saves" ] && [ "$saves" -gt 0 ] || fail="$fail no-saves"
sanitizer=$(grep -cE 'ERROR: [A-Za-z]+Sanitizer|runtime error:|^SUMMARY: [A-Za-z]+Sanitizer' "$log" || true)
[ "$sanitizer" -eq 0 ] || fail="$fail sanitizer"

# Memory. Single samples swing by some 4 MiB with what the software GL
# driver holds for the frame in flight, so each end of the judged span is the
# lowest sample of a minute: from the end of the warm-up, and the last one.
rss=$(awk -v w="$warmup" '
  NR == 1 { start = $2 }
  { t[NR] = $1; k[NR] = $2 }
  END {
    last = t[NR]
    for (i = 1; i <= NR; i++) {
      if (t[i] >= w && !wt) { wt = t[i]; ws = k[i] }
      if (t[i] >= w && t[i] < w + 60 && (!wlow || k[i] < wlow)) wlow = k[i]
      if (t[i] > last - 60 && (!elow || k[i] < elow)) elow = k[i]
      if (t[i] >= w && k[i] > max) max = k[i]
    }
    if (!wt) { wt = last; ws = k[NR]; wlow = elow; max = k[NR] }
    printf "%d %d %d %d %d %d %d %d", start, ws, wt, wlow, k[NR], last, elow, max
  }' "$out/rss.dat")
set -- $rss
rss_start=$1 rss_warm=$2 rss_warm_t=$3 rss_warm_low=$4 rss_end=$5 rss_end_t=$6 rss_end_low=$7 rss_max=$8
growth=$((rss_end_low - rss_warm_low))
mib() { awk -v k="$1" 'BEGIN { printf "%.2f MiB", k / 1024 }'; }
if [ $sanitized -eq 0 ]; then
  [ $growth -lt 2048 ] || fail="$fail memory"
  judged="limit 2 MiB"
  limit_title="the limit for the lowest of the last minute"
else
  judged="not judged in the sanitizer tree"
  limit_title="2 MiB above it (not judged in this tree)"
fi

verdict=PASS
[ -z "$fail" ] || verdict="FAIL:$fail"
# Above the whole run; below, the judged span at a scale that shows 2 MiB.
gnuplot <<EOF || fail="$fail plot"
set terminal png size 1000,800
set output "$out/rss.png"
set multiplot layout 2,1 title "soak, $tree/borlix2, $minutes min: $verdict"
set xlabel "minutes"
set ylabel "resident memory (MiB)"
set grid
set key below
set xrange [0:*]
set yrange [0:*]
set arrow 1 from $warmup/60.0, graph 0 to $warmup/60.0, graph 1 nohead dt 2
set label 1 "end of warm-up" at $warmup/60.0, graph 0.9 offset 0.5, 0
plot "$out/rss.dat" using (\$1/60.0):(\$2/1024.0) with linespoints pt 7 ps 0.6 title "VmRSS, every 10 s"
set yrange [$rss_warm_low/1024.0 - 4:($rss_max > $rss_warm_low + 7168 ? $rss_max/1024.0 + 1 : $rss_warm_low/1024.0 + 8)]
set xrange [$warmup/60.0 - 0.5:*]
plot "$out/rss.dat" using (\$1/60.0):(\$2/1024.0) with linespoints pt 7 ps 0.6 title "VmRSS after the warm-up", \
     $rss_warm_low/1024.0 with lines dt 3 lc rgb "#808080" title "lowest in the minute after the warm-up", \
     $rss_warm_low/1024.0 + 2 with lines lw 2 lc rgb "#c00000" title "$limit_title"
unset multiplot
EOF

beats=$(grep -c 'ModsAPI: soak: beat ' "$log" || true)
frames=$(grep 'ModsAPI: soak: beat ' "$log" | tail -n 1 | sed -n 's/.* frames=\([0-9]*\).*/\1/p')
echo "soak.sh: $tree/borlix2, $t_end s, sound through SDL's dummy driver"
echo "  frames painted $frames (about $((${frames:-0} / (t_end > 0 ? t_end : 1))) a second), heartbeats $beats, saves $saves, save errors $save_errors, failed entry points $entry_errors"
echo "  memory: start $(mib "$rss_start"), at $rss_warm_t s $(mib "$rss_warm"), at the end ($rss_end_t s) $(mib "$rss_end"), highest after the warm-up $(mib "$rss_max")"
echo "  lowest in the minute after the warm-up $(mib "$rss_warm_low"), in the last minute $(mib "$rss_end_low")"
echo "  growth after the warm-up, lowest against lowest: $(mib "$growth") ($judged); single samples: $(mib $((rss_end - rss_warm)))"
echo "  rewrites, $cycle cycles of four files:"
cat "$out/rewrites.txt"
echo "  damaged files and their lines (all of them in $out/damaged.txt):"
for k in part.lua sprite.png soakfont.fnt click.wav; do
  n=$(grep -c " $k: " "$out/damaged.txt" || true)
  first=$(grep -m 1 " $k: " "$out/damaged.txt" | sed 's/^[^:]*: //' || true)
  echo "    $k ($n): ${first:-none}"
done
echo "  final input: $input"
echo "  end: $status, sanitizer reports: $sanitizer"
echo "  plot: $out/rss.png"
echo "soak.sh: $verdict"
[ -z "$fail" ]
