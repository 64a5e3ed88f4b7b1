#!/bin/bash
# The Wine test bed of one build tree.
#   wine-bed.sh setup ROOT     start Xvfb (unless QUORVEL_DISPLAY names a display) and boot
#                              the template prefix ROOT/template once
#   wine-bed.sh clone ROOT DIR make DIR a fresh prefix copied from the template
#   wine-bed.sh cleanup ROOT   stop every wineserver under ROOT and the Xvfb of setup
set -euo pipefail
export PATH=/usr/lib/wine:$PATH WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all

cmd=${1:?usage: wine-bed.sh setup|clone|cleanup ROOT [DIR]}
root=${2:?usage: wine-bed.sh setup|clone|cleanup ROOT [DIR]}
mkdir -p "$root"
root=$(cd "$root" && pwd)

start_xvfb() {
  if [ -n "${QUORVEL_DISPLAY:-}" ]; then echo "$QUORVEL_DISPLAY" >"$root/display"; return; fi
  if [ -f "$root/xvfb.pid" ] && kill -0 "$(cat "$root/xvfb.pid")" 2>/dev/null; then return; fi
  local n
  for n in $(seq 90 250); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$root/xvfb.log" 2>&1 </dev/null &
    echo $! >"$root/xvfb.pid"
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { echo ":$n" >"$root/display"; return; }
      kill -0 "$(cat "$root/xvfb.pid")" 2>/dev/null || break
      sleep 0.1
    done
  done
  echo "wine-bed: could not start Xvfb" >&2; exit 1
}

boot_template() {
  local tpl=$root/template
  [ -f "$tpl/.quorvel-booted" ] && return
  rm -rf "$tpl"
  WINEPREFIX=$tpl wine64 wineboot -i >"$root/boot.log" 2>&1
  # A crashing program must not open a blocking dialog under X.
  WINEPREFIX=$tpl wine64 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
  WINEPREFIX=$tpl wineserver -k 2>/dev/null || true
  WINEPREFIX=$tpl wineserver -w 2>/dev/null || true
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

cleanup() {
  local p
  for p in "$root"/template "$root"/prefixes/*/ "$root"/demo; do
    [ -d "$p" ] || continue
    WINEPREFIX=${p%/} wineserver -k 2>/dev/null || true
  done
  if [ -f "$root/xvfb.pid" ]; then
    kill "$(cat "$root/xvfb.pid")" 2>/dev/null || true
    rm -f "$root/xvfb.pid" "$root/display"
  fi
}

case $cmd in
  setup) start_xvfb; (flock 9; boot_template) 9>"$root/.boot.lock" ;;
  clone) (flock 9; boot_template) 9>"$root/.boot.lock"; clone "${3:?clone needs a DIR}" ;;
  cleanup) cleanup ;;
  *) echo "wine-bed: unknown command $cmd" >&2; exit 2 ;;
esac
