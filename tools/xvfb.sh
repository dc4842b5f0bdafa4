# An X server of a script's own (Xvfb, 1600x900, on a display number it picks
# itself: parallel xvfb-run calls race for one), for the tests and the
# benchmark scripts. Sourced by tools/test_env.sh and the scripts in bench/.
#
# xvfb_start: starts the server and exports DISPLAY; sets xdir, a new
# temporary directory that also holds the server's log. The server is stopped
# and xdir removed (xvfb_stop) when the script exits; a script that sets its
# own EXIT trap calls xvfb_stop in it. Exits the script when the server does
# not come up.
#
# -noreset: by default the server resets itself whenever its last client
# disconnects, and a connection made during the reset is refused (a test that
# closes its display and then opens another at once would find no server).
xvfb_start() {
  xdir=$(mktemp -d)
  Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp -noreset 3>"$xdir/display" >"$xdir/log" 2>&1 &
  xpid=$!
  trap xvfb_stop EXIT INT TERM
  i=0
  while [ ! -s "$xdir/display" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  [ -s "$xdir/display" ] || { echo "$(basename "$0"): Xvfb did not start"; cat "$xdir/log"; exit 1; }
  export DISPLAY=":$(cat "$xdir/display")"
}

xvfb_stop() {
  kill $xpid 2>/dev/null
  rm -rf "$xdir"
}
