# Sourced by the test bed: an Xvfb server of one's own, its files kept in one folder.
#   xvfb_start DIR   start one (unless it still answers) and write its display to DIR/display
#   xvfb_stop DIR    stop the one DIR/xvfb.pid names, if it still runs
# Needs wait_until from wine-env.sh. Xvfb chooses a free display itself and writes its
# number to -displayfd once it accepts connections, so servers started at once never pick
# the same one.

readonly kXvfbStartSeconds=30
# The folder, inside a run's prefix, that holds the files of the run's own Xvfb.
readonly kRunDisplayDir=.xvfb

xvfb_fail() { echo "xvfb: $*" >&2; return 1; }

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

xvfb_stop() {
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
xvfb_start() {
  local dir=$1
  mkdir -p "$dir"
  if xvfb_pid "$dir" >/dev/null && [ -f "$dir/display" ] && xvfb_answers "$(cat "$dir/display")"; then return 0; fi
  xvfb_stop "$dir"
  local numberfile=$dir/xvfb.displayfd
  rm -f "$numberfile"
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numberfile" >"$dir/xvfb.log" 2>&1 </dev/null 8>&- 9>&- &
  local pid=$!
  echo "$pid" >"$dir/xvfb.pid"
  if ! wait_until "$kXvfbStartSeconds" "Xvfb to accept connections" xvfb_answers_or_died "$pid" "$numberfile" ||
      ! xvfb_answers ":$(cat "$numberfile")"; then
    xvfb_stop "$dir"
    cat "$dir/xvfb.log" >&2
    xvfb_fail "could not start Xvfb (log above)"
    return 1
  fi
  echo ":$(cat "$numberfile")" >"$dir/display"
}
