# Sourced by the test bed: an X display of one's own, its files kept in one folder.
#   display_start DIR      start an Xvfb (unless DIR's still answers) and write its display
#                          to DIR/display; with QUORVEL_DISPLAY set (to watch a test), check
#                          that display answers and write it instead
#   display_stop DIR       stop the Xvfb DIR names, if it still runs, and forget the display
#   run_display PREFIX     display_start for a test run's own display, kept in the run's
#                          prefix; prints the display
#   run_display_stop PREFIX
# Needs wait_until from wine-env.sh. Xvfb chooses a free display itself and writes its
# number to -displayfd once it accepts connections, so servers started at once never pick
# the same one. Its screen is 1024x768 at 24 bits unless QUORVEL_XVFB_SCREEN gives another
# (WxHxDEPTH), as the screenshots at a higher display scale need.
#
# Every test run has a display of its own. Wine's GDI connection sends requests for windows
# that another of its connections may already have destroyed, and ignores the "no such
# drawable" errors that come back; on a server shared with other prefixes, a Wine process
# starting meanwhile can take over the closed connection's client slot and with it the
# window's id, for its desktop's input-only window, and the late request then kills the
# process with an X error (BadMatch on CreateGC).

readonly kXvfbStartSeconds=30

xvfb_answers() { xdpyinfo -display "$1" >/dev/null 2>&1; }

xvfb_gone() { ! kill -0 "$1" 2>/dev/null; }

# The pid of the Xvfb DIR names, when it is still running (its pid may have been reused).
xvfb_pid() {
  local pid
  pid=$(cat "$1/xvfb.pid" 2>/dev/null) || return 1
  [ -n "$pid" ] && grep -qa '^Xvfb' "/proc/$pid/cmdline" 2>/dev/null && echo "$pid"
}

# True once the Xvfb PID answers on the display it wrote to NUMBERFILE, or once it died.
xvfb_answers_or_died() {
  kill -0 "$1" 2>/dev/null || return 0
  [ -s "$2" ] && xvfb_answers ":$(cat "$2")"
}

display_stop() {
  local dir=$1 pid
  if pid=$(xvfb_pid "$dir"); then
    kill "$pid" 2>/dev/null || true
    # The display's lock file goes when the server has exited.
    wait_until 10 "Xvfb $pid to exit" xvfb_gone "$pid" || kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$dir/xvfb.pid" "$dir/display"
}

# The server runs in a session of its own with no descriptor of the caller's but its
# standard streams redirected, so that it holds none of the bed's locks.
display_start() {
  local dir=$1
  mkdir -p "$dir"
  if [ -n "${QUORVEL_DISPLAY:-}" ]; then
    xvfb_answers "$QUORVEL_DISPLAY" || { echo "xvfb: QUORVEL_DISPLAY=$QUORVEL_DISPLAY does not accept connections" >&2; return 1; }
    echo "$QUORVEL_DISPLAY" >"$dir/display"
    return 0
  fi
  if xvfb_pid "$dir" >/dev/null && [ -f "$dir/display" ] && xvfb_answers "$(cat "$dir/display")"; then return 0; fi
  display_stop "$dir"
  # A server that dies at start (two servers racing for the same display's lock and socket
  # when many runs start at once) is started again; one that never answers is not.
  local try
  for try in 1 2 3; do
    xvfb_start_once "$dir" && return 0
    [ -f "$dir/xvfb.died" ] || break
  done
  cat "$dir/xvfb.log" >&2
  echo "xvfb: could not start Xvfb (log above)" >&2
  return 1
}

# One start: 0 once the server answers; otherwise stops it, leaves its log, and marks
# DIR/xvfb.died when it exited by itself.
xvfb_start_once() {
  local dir=$1 numberfile=$1/xvfb.displayfd
  rm -f "$numberfile" "$dir/xvfb.died"
  setsid Xvfb -displayfd 3 -screen 0 "${QUORVEL_XVFB_SCREEN:-1024x768x24}" -nolisten tcp 3>"$numberfile" >"$dir/xvfb.log" 2>&1 </dev/null 8>&- 9>&- &
  local pid=$!
  echo "$pid" >"$dir/xvfb.pid"
  if wait_until "$kXvfbStartSeconds" "Xvfb to accept connections" xvfb_answers_or_died "$pid" "$numberfile" &&
      xvfb_answers ":$(cat "$numberfile")"; then
    echo ":$(cat "$numberfile")" >"$dir/display"
    return 0
  fi
  xvfb_gone "$pid" && touch "$dir/xvfb.died"
  display_stop "$dir"
  return 1
}

run_display() { display_start "$1/.xvfb" && cat "$1/.xvfb/display"; }
run_display_stop() { display_stop "$1/.xvfb"; }
