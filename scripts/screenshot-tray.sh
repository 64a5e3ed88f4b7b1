#!/bin/bash
# Takes pictures of Quorvel in Wine's shell desktop: its icon in the notification area with
# the balloon a second instance shows on it and, when asked, the tray menu opened on the
# icon and the About box:
#   scripts/screenshot-tray.sh [--dpi N] [--menu MENU.png] [--about ABOUT.png] [OUT.png]
#                                              (OUT.png defaults to docs/tray-icon.png)
# --dpi sets the display's dots per inch (96 is 100 %, 144 is 150 %); with it, the icon
# and balloon picture is taken only when OUT.png is given.
# Uses the Windows programs in $QUORVEL_BUILD (default build/win64, built when missing), a
# Wine prefix and an Xvfb display of its own, and stops both at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { echo "usage: scripts/screenshot-tray.sh [--dpi N] [--menu MENU.png] [--about ABOUT.png] [OUT.png]" >&2; exit 2; }
menu_out='' about_out='' out='' dpi=''
while [ $# -gt 0 ]; do
  case $1 in
    --dpi) [ $# -ge 2 ] && [[ $2 =~ ^[0-9]+$ ]] || usage; dpi=$2; shift 2 ;;
    --menu) [ $# -ge 2 ] || usage; menu_out=$(realpath -m "$2"); shift 2 ;;
    --about) [ $# -ge 2 ] || usage; about_out=$(realpath -m "$2"); shift 2 ;;
    -*) usage ;;
    *) [ -z "$out" ] || usage; out=$(realpath -m "$1"); shift ;;
  esac
done
[ -n "$out$dpi" ] || out=$(realpath -m docs/tray-icon.png)
build=$(realpath -m "${QUORVEL_BUILD:-build/win64}")
bin=$build/bin
command -v import >/dev/null || scripts/setup.sh
programs=(quorvel ombrix-service nko-probe win-probe suite-tool menu_reader)
for program in "${programs[@]}"; do
  if [ ! -f "$bin/$program.exe" ] && [ ! -f "$bin/$program.dll" ]; then
    cmake --preset win64 -B "$build" >/dev/null
    cmake --build "$build" -j "${QUORVEL_JOBS:-2}" --target "${programs[@]}" >/dev/null
    break
  fi
done

# At a higher scale the screen grows with it, so that the desktop shows as much as at
# 100 % and the About box fits; positions on it are given at 100 % and scaled.
scale() { echo $(($1 * ${dpi:-96} / 96)); }
screen_w=$(scale 1024) screen_h=$(scale 768)
export QUORVEL_XVFB_SCREEN=${screen_w}x${screen_h}x24

wine_root=$build/screenshot-wine
. tests/bed/wine-env.sh
finish() { tests/bed/wine-bed.sh cleanup "$wine_root" >/dev/null; }
trap finish EXIT
tests/bed/wine-bed.sh setup "$wine_root" >/dev/null
tests/bed/wine-bed.sh clone "$wine_root" "$wine_root/shot"
bed_env "$wine_root/shot" "$(cat "$wine_root/display")"
window() { wine64 "$bin/win-probe.exe" "$@"; }

# Every program of this prefix runs inside one desktop as large as the screen, with a
# taskbar whose notification area sits at the bottom right.
wine64 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d shell /f >/dev/null
wine64 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /t REG_SZ /d "${screen_w}x${screen_h}" /f >/dev/null
# Read by every program at its start, the desktop's among them.
[ -z "$dpi" ] || wine64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
suite_key='HKLM\SOFTWARE\Korvane\Ombrix\CurrentVersion'
wine64 reg add "$suite_key" /v QuorvelHidden /t REG_SZ /d 0 /f >/dev/null
if [ -n "$menu_out$about_out" ]; then
  # An installed suite, so that the menu offers its tools, manuals and help files.
  source scripts/suite_standins.sh
  install_suite_standins "$bin"
fi

wine64 "$bin/ombrix-service.exe" --stop-event 'Local\QuorvelShotStop' --ready-event 'Local\QuorvelShotReady' \
  --has-message 1 --status-line "Korvane Ombrix Service 15.5 is running" >/dev/null &
service_pid=$!
wine64 "$bin/nko-probe.exe" create event 'Local\QuorvelShotReady' --wait 20000 >/dev/null
wine64 "$bin/quorvel.exe" &
quorvel_pid=$!
window find BW_Halvoric_Class BW_Halvoric_Wnd --wait 20000 >/dev/null

# "WxH+X+Y" -> "X Y W H"
split_geometry() { echo "$1" | tr -d '\r' | sed 's/^\([0-9]*\)x\([0-9]*\)+\([0-9-]*\)+\([0-9-]*\)$/\3 \4 \1 \2/'; }

if [ -n "$menu_out" ]; then
  # The menu opens at the pointer; with the pointer just above the icon it opens above the
  # taskbar, as after a real click (on the icon itself, the icon's tooltip would cover the
  # menu). The Documentation submenu is opened by its mnemonic.
  window cursor "$(scale 1012)" "$(scale 745)"
  window post BW_Halvoric_Class BW_Halvoric_Wnd 1024 0 516
  window menu --wait 5000 >/dev/null
  window menu-keys d
  read -r x y w h < <(split_geometry "$(window menu --windows 2 --wait 5000 --drawn --geometry)")
  # The menus and the right-hand end of the taskbar below them.
  margin=$(scale 10)
  left=$(( x - margin < 0 ? 0 : x - margin )) top=$(( y - margin < 0 ? 0 : y - margin ))
  mkdir -p "$(dirname "$menu_out")"
  import -window root -crop "$((screen_w - left))x$((screen_h - top))+$left+$top" +repage "$menu_out"
  echo "screenshot-tray: wrote $menu_out"
  window menu-keys escape
  window menu-keys escape
  window menu-closed --wait 3000 >/dev/null
fi

if [ -n "$about_out" ]; then
  about='Korvane Ombirx Suite Information'
  window post BW_Halvoric_Class BW_Halvoric_Wnd 1024 0 516
  window menu-keys a --wait 5000
  read -r x y w h < <(split_geometry "$(window box "$about" --wait 5000 --drawn --geometry)")
  mkdir -p "$(dirname "$about_out")"
  import -window root -crop "$((w + $(scale 20)))x$((h + $(scale 20)))+$((x - $(scale 10)))+$((y - $(scale 10)))" +repage "$about_out"
  echo "screenshot-tray: wrote $about_out"
  window box "$about" --press 1 >/dev/null
  window gone '#32770' "$about" --wait 5000 >/dev/null
fi

if [ -n "$out" ]; then
  # Away from the icon, whose tooltip would cover the balloon.
  window cursor "$(scale 512)" "$(scale 300)"
  # A second instance without an option shows the balloon on the running instance's icon.
  wine64 "$bin/quorvel.exe" || true
  # The balloon is a tooltip window of the shell's notification area.
  window shown tooltips_class32 --wait 10000 --drawn >/dev/null

  mkdir -p "$(dirname "$out")"
  # The right-hand end of the taskbar and the balloon above it.
  import -window root -crop "$(scale 440)x$(scale 190)+$(scale 584)+$(scale 578)" +repage "$out"
  echo "screenshot-tray: wrote $out"
fi

wine64 "$bin/quorvel.exe" -x || true
wait "$quorvel_pid"
wine64 "$bin/nko-probe.exe" open event 'Local\QuorvelShotStop' --set >/dev/null
wait "$service_pid"
