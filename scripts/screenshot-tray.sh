#!/bin/bash
# Takes a picture of Quorvel's icon in the notification area of Wine's shell desktop, with
# the balloon a second instance shows on it:
#   scripts/screenshot-tray.sh [OUT.png]      (default docs/tray-icon.png)
# Uses the Windows programs in $QUORVEL_BUILD (default build/win64, built when missing), a
# Wine prefix and an Xvfb display of its own, and stops both at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$(realpath -m "${1:-docs/tray-icon.png}")
build=$(realpath -m "${QUORVEL_BUILD:-build/win64}")
bin=$build/bin
command -v import >/dev/null || scripts/setup.sh
if [ ! -f "$bin/quorvel.exe" ] || [ ! -f "$bin/ombrix-service.exe" ]; then
  cmake --preset win64 -B "$build" >/dev/null
  cmake --build "$build" -j "${QUORVEL_JOBS:-2}" --target quorvel ombrix-service nko-probe win-probe >/dev/null
fi

wine_root=$build/screenshot-wine
tests/bed/wine-bed.sh setup "$wine_root" >/dev/null
tests/bed/wine-bed.sh clone "$wine_root" "$wine_root/shot"
export PATH=/usr/lib/wine:$PATH WINEARCH=win64 WINEPREFIX=$wine_root/shot
export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all DISPLAY=$(cat "$wine_root/display")
finish() {
  wineserver -k 2>/dev/null || true
  tests/bed/wine-bed.sh cleanup "$wine_root" >/dev/null
}
trap finish EXIT

# Every program of this prefix runs inside one 1024x768 desktop with a taskbar, whose
# notification area sits at the bottom right.
wine64 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d shell /f >/dev/null
wine64 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /t REG_SZ /d 1024x768 /f >/dev/null
suite_key='HKLM\SOFTWARE\Korvane\Ombrix\CurrentVersion'
wine64 reg add "$suite_key" /v QuorvelHidden /t REG_SZ /d 0 /f >/dev/null

wine64 "$bin/ombrix-service.exe" --stop-event 'Local\QuorvelShotStop' --ready-event 'Local\QuorvelShotReady' \
  >/dev/null &
service_pid=$!
wine64 "$bin/nko-probe.exe" create event 'Local\QuorvelShotReady' --wait 20000 >/dev/null
wine64 "$bin/quorvel.exe" &
quorvel_pid=$!
wine64 "$bin/win-probe.exe" find BW_Halvoric_Class BW_Halvoric_Wnd --wait 20000 >/dev/null
# A second instance without an option shows the balloon on the running instance's icon.
wine64 "$bin/quorvel.exe" || true
sleep 2

mkdir -p "$(dirname "$out")"
# The right-hand end of the taskbar and the balloon above it.
import -window root -crop 440x190+584+578 +repage "$out"
echo "screenshot-tray: wrote $out"

wine64 "$bin/quorvel.exe" -x || true
wait "$quorvel_pid" || true
wine64 "$bin/nko-probe.exe" open event 'Local\QuorvelShotStop' --set >/dev/null
wait "$service_pid" || true
