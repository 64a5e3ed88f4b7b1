#!/bin/bash
# One Wine test bed under ROOT: a booted template prefix, from which every run clones a
# prefix of its own, and, for the scripts that run programs in a clone by hand, an Xvfb
# display. Test runs (wine-run.sh) start an Xvfb of their own. Separate ROOTs never touch
# each other.
#   wine-bed.sh boot ROOT      make sure the template is booted
#   wine-bed.sh setup ROOT     the same, and start the bed's display (ROOT/display names it;
#                              QUORVEL_DISPLAY names one to use instead) until cleanup
#   wine-bed.sh clone ROOT DIR make DIR a fresh prefix copied from the template (booting it
#                              first when needed)
#   wine-bed.sh cleanup ROOT   stop every wineserver of a prefix under ROOT, the runs'
#                              Xvfbs and the bed's display
# Boots, set-ups and clean-ups of one ROOT are serialised by a lock on ROOT/.bed.lock.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
. "$here/xvfb.sh"

usage="usage: wine-bed.sh boot|setup|cleanup ROOT | wine-bed.sh clone ROOT DIR"
cmd=${1:?$usage}
root=${2:?$usage}
mkdir -p "$root"
root=$(cd "$root" && pwd)
bed_env "$root/template"

fail() { echo "wine-bed: $*" >&2; exit 1; }

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
# A display an earlier, killed run left in DIR is stopped before DIR goes.
clone() {
  local dir=$1 tpl=$root/template
  run_display_stop "$dir"
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
    run_display_stop "$p"
  done < <(prefixes)
  display_stop "$root"
}

locked() { (flock 9; "$@") 9>>"$root/.bed.lock"; }

case $cmd in
  boot) locked boot_template ;;
  setup) locked eval 'boot_template && display_start "$root"' || exit 1 ;;
  clone) locked boot_template; clone "${3:?clone needs a DIR}" ;;
  cleanup) locked cleanup ;;
  *) fail "unknown command $cmd ($usage)" ;;
esac
