#!/bin/bash
# One Wine test bed: an Xvfb display and a booted template prefix under ROOT, from which
# every run clones a prefix of its own. Separate ROOTs never touch each other.
#   wine-bed.sh setup ROOT     make sure the bed is up (Xvfb accepting connections, unless
#                              QUORVEL_DISPLAY names a display; template booted) and keep it
#                              up until cleanup
#   wine-bed.sh use ROOT       the same, for one run; "release" stops what it started
#   wine-bed.sh release ROOT   stop the Xvfb unless a setup holds the bed or another run
#                              still uses it (runs hold a shared lock on ROOT/.users)
#   wine-bed.sh clone ROOT DIR make DIR a fresh prefix copied from the template
#   wine-bed.sh cleanup ROOT   stop every wineserver of a prefix under ROOT and the Xvfb
# Set-ups, releases and clean-ups of one ROOT are serialised by a lock on ROOT/.bed.lock.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

usage="usage: wine-bed.sh setup|use|release|cleanup ROOT | wine-bed.sh clone ROOT DIR"
cmd=${1:?$usage}
root=${2:?$usage}
mkdir -p "$root"
root=$(cd "$root" && pwd)
bed_env "$root/template"
readonly kXvfbStartSeconds=30

fail() { echo "wine-bed: $*" >&2; exit 1; }

gone() { ! kill -0 "$1" 2>/dev/null; }
display_answers() { xdpyinfo -display "$1" >/dev/null 2>&1; }

# The Xvfb this bed started, when it is still running (its pid may have been reused).
our_xvfb() {
  local pid
  pid=$(cat "$root/xvfb.pid" 2>/dev/null) || return 1
  [ -n "$pid" ] && grep -qa '^Xvfb' "/proc/$pid/cmdline" 2>/dev/null && echo "$pid"
}

stop_xvfb() {
  local pid
  if pid=$(our_xvfb); then
    kill "$pid" 2>/dev/null || true
    # The display's lock file goes when the server has exited.
    wait_until 10 "Xvfb $pid to exit" gone "$pid" || kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$root/xvfb.pid" "$root/display"
}

# True once the Xvfb PID answers on the display it wrote to NUMBERFILE, or once it died.
xvfb_answers_or_died() {
  kill -0 "$1" 2>/dev/null || return 0
  [ -s "$2" ] && display_answers ":$(cat "$2")"
}

# Xvfb chooses a free display itself and writes its number to -displayfd once it accepts
# connections, so two beds starting at once never pick the same one.
start_xvfb() {
  if [ -n "${QUORVEL_DISPLAY:-}" ]; then
    display_answers "$QUORVEL_DISPLAY" || fail "QUORVEL_DISPLAY=$QUORVEL_DISPLAY does not accept connections"
    echo "$QUORVEL_DISPLAY" >"$root/display"
    return
  fi
  if our_xvfb >/dev/null && [ -f "$root/display" ] && display_answers "$(cat "$root/display")"; then return; fi
  stop_xvfb
  local numberfile=$root/xvfb.displayfd
  rm -f "$numberfile"
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numberfile" >"$root/xvfb.log" 2>&1 </dev/null 8>&- 9>&- &
  local pid=$!
  echo "$pid" >"$root/xvfb.pid"
  if ! wait_until "$kXvfbStartSeconds" "Xvfb to accept connections" xvfb_answers_or_died "$pid" "$numberfile" ||
      ! display_answers ":$(cat "$numberfile")"; then
    stop_xvfb
    cat "$root/xvfb.log" >&2
    fail "could not start Xvfb (log above)"
  fi
  echo ":$(cat "$numberfile")" >"$root/display"
}

boot_template() {
  local tpl=$root/template
  [ -f "$tpl/.quorvel-booted" ] && return
  rm -rf "$tpl"
  # The wineserver outlives wineboot: it must not hold the bed's lock.
  wine64 wineboot -i >"$root/boot.log" 2>&1 9>&- || { cat "$root/boot.log" >&2; fail "wineboot failed (log above)"; }
  # A crashing program must not open a blocking dialog under X.
  wine64 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 9>&-
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  touch "$tpl/.quorvel-booted"
}

# Hard links for the big read-only trees keep a copy at a fraction of a second; every file
# Wine may rewrite in place (registry, ini files, user folders) is copied for real.
clone() {
  local dir=$1 tpl=$root/template
  rm -rf "$dir"
  mkdir -p "$dir/drive_c/windows"
  cp -a "$tpl/dosdevices" "$dir/"
  cp -p "$tpl"/*.reg "$tpl"/.update-timestamp "$dir/" 2>/dev/null || true
  local entry
  for entry in "$tpl"/drive_c/*; do
    [ "$(basename "$entry")" = windows ] && continue
    cp -a "$entry" "$dir/drive_c/"
  done
  for entry in "$tpl"/drive_c/windows/*; do
    case $(basename "$entry") in
      system32|syswow64|winsxs|Microsoft.NET|mono|gecko) cp -al "$entry" "$dir/drive_c/windows/" ;;
      *) cp -a "$entry" "$dir/drive_c/windows/" ;;
    esac
  done
}

# Every prefix of this bed: the template and each folder that holds a registry.
prefixes() { find "$root" -mindepth 1 -maxdepth 3 -name system.reg -printf '%h\n' 2>/dev/null; }

cleanup() {
  local p
  while read -r p; do
    WINEPREFIX=$p wineserver -k 2>/dev/null || true
  done < <(prefixes)
  while read -r p; do
    WINEPREFIX=$p wineserver -w 2>/dev/null || true
  done < <(prefixes)
  stop_xvfb
  rm -f "$root/held"
}

release() {
  [ -f "$root/held" ] && return
  # Fails at once while another run holds its shared lock.
  (flock -n -x 8 && stop_xvfb) 8>>"$root/.users" || true
}

locked() { (flock 9; "$@") 9>>"$root/.bed.lock"; }

case $cmd in
  setup) locked eval 'start_xvfb; boot_template; touch "$root/held"' ;;
  use) locked eval 'start_xvfb; boot_template' ;;
  release) locked release ;;
  clone) locked boot_template; clone "${3:?clone needs a DIR}" ;;
  cleanup) locked cleanup ;;
  *) fail "unknown command $cmd ($usage)" ;;
esac
