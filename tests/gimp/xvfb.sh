# A private X server for the tests that start GIMP on a display (sourced).
#
# xvfb_start DIR: starts Xvfb on a free display number that Xvfb picks
#   itself, so tests running side by side never share a display; exports
#   DISPLAY and sets xvfb_pid.  When no display number comes within 20 s it
#   says so with the server's log (DIR/xvfb.log) and returns 1.
# xvfb_stop: ends the server xvfb_start started (TERM, then KILL after 5 s).
xvfb_pid=
xvfb_start() {
  local fifo=$1/displayfd display=
  mkfifo "$fifo" || return 1
  Xvfb -displayfd 4 -screen 0 1280x1024x24 -nolisten tcp -noreset 4>"$fifo" >"$1/xvfb.log" 2>&1 &
  xvfb_pid=$!
  if read -r -t 20 display < "$fifo" && [ -n "$display" ]; then
    export DISPLAY=":$display"
  else
    echo "FAIL: Xvfb did not start"
    cat "$1/xvfb.log"
    return 1
  fi
}
xvfb_stop() {
  [ -n "$xvfb_pid" ] || return 0
  kill "$xvfb_pid" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$xvfb_pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$xvfb_pid" 2>/dev/null
  xvfb_pid=
}
