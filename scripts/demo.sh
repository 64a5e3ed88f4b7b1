#!/bin/bash
# The main job: the whole system under Wine, step by step. It installs what is missing,
# builds the Windows programs, and runs them in a Wine prefix of its own with Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/setup.sh

# QUORVEL_BUILD picks another build tree (default build/win64).
build=$(realpath -m "${QUORVEL_BUILD:-$root/build/win64}")
echo "== building the Windows programs (MinGW-w64) in $build"
cmake --preset win64 -B "$build" >/dev/null
cmake --build "$build" -j "${QUORVEL_JOBS:-2}" >/dev/null

# A bed of its own (Xvfb display, template and prefix), apart from the tests' bed in
# $build/wine, so that the demo and a test run never disturb each other.
wine_root=$build/demo-bed
. tests/bed/wine-env.sh
finish() {
  local rc=$?
  tests/bed/wine-bed.sh cleanup "$wine_root"
  [ $rc = 0 ] || printf '\n== demo FAILED (exit code %s)\n' "$rc" >&2
}
trap finish EXIT
# A screen wider than the tests' one: Wine's shell draws the warning balloon of step 9 on one
# line, wider than 1024 pixels.
screen_width=1600 screen_height=900
QUORVEL_XVFB_SCREEN=${screen_width}x${screen_height}x24 tests/bed/wine-bed.sh setup "$wine_root"
tests/bed/wine-bed.sh clone "$wine_root" "$wine_root/demo"
bed_env "$wine_root/demo" "$(cat "$wine_root/display")"
bin=$build/bin
stop_event='Local\QuorvelDemoStop'

step() { printf '\n== %s\n' "$*"; }
run() { printf '$ %s\n' "$*"; "$@"; }
probe() { wine64 "$bin/nko-probe.exe" "$@"; }

suite_key='HKLM\SOFTWARE\Korvane\Ombrix\CurrentVersion'
# What the tray menu offers: the suite's tools, manuals, help files and readme.
source scripts/suite_standins.sh
install_suite_standins "$bin"
export SUITE_TOOL_RECORD='C:\suite-tools-demo.log'
wine64 reg add "$suite_key" /v QuorvelHidden /t REG_SZ /d 0 /f >/dev/null
# The K7302 server stand-in where Quorvel looks for it; it records what happens to it.
mkdir -p "$WINEPREFIX/drive_c/Program Files/Korvane/Ombrix/bin"
cp "$bin/halvo7302.exe" "$WINEPREFIX/drive_c/Program Files/Korvane/Ombrix/bin/"
export HALVO7302_RECORD='C:\k7302-demo.log'
source scripts/demo_package.sh
demo_package_install

step "1. Start the suite service stand-in: it publishes its information block and running events, and serves the NKO pipe"
wine64 "$bin/ombrix-service.exe" --stop-event "$stop_event" --ready-event 'Local\QuorvelDemoReady' \
  --has-message 1 --status-line "Korvane Ombrix Service (demo)" &
service_pid=$!
probe create event 'Local\QuorvelDemoReady' --wait 20000 >/dev/null
echo "the service stand-in is ready"

step "2. Process A asks for Global\\QuorvelDemoMemory: the name starts with Global\\, so the NKO server creates it"
# A keeps the object until step 4 is done (it says so and fails when nobody tells it), and
# sets the "written" event once its text is in the memory.
release='Local\QuorvelDemoRelease'
written='Local\QuorvelDemoWritten'
probe create mapping 'Global\QuorvelDemoMemory' --write "Hello from process A" --done "$written" \
  --hold 60000 --until "$release" &
probe_a=$!
probe create event "$written" --wait 20000 >/dev/null

step "3. Process B, a different process, opens the same Global\\ object by name and reads what A wrote"
probe open mapping 'Global\QuorvelDemoMemory' --read

step "4. A second creation of the same name is told that the object existed (last error 183)"
probe create mapping 'Global\QuorvelDemoMemory' --read
probe open event "$release" --set >/dev/null
wait $probe_a

step "5. An event made through the server in A is signalled by B"
# A's lines are held back while B runs, so that the two processes never print at once.
a_out=$wine_root/demo-event-a.txt
made='Local\QuorvelDemoEventMade'
probe create event 'Global\QuorvelDemoEvent' --done "$made" --wait 20000 >"$a_out" &
probe_a=$!
probe create event "$made" --wait 20000 >/dev/null
sed 's/^/A: /' "$a_out"
probe open event 'Global\QuorvelDemoEvent' --set | sed 's/^/B: /'
wait $probe_a
sed -n '2,$s/^/A: /p' "$a_out"

quorvel_log=$wine_root/demo-quorvel.log
show_log() {
  # Quorvel's event-log entries, as Wine prints them on the debug channel.
  sed -n 's/^[0-9a-f]*:[0-9a-f]*:trace:eventlog:ReportEventW L"\(.*\)"$/  event log: \1/p' "$quorvel_log" | tail -n "$1"
}
quorvel() { WINEDEBUG=-all,+pid,+eventlog wine64 "$quorvel_exe" "$@" 2>>"$quorvel_log"; }
window() { wine64 "$bin/win-probe.exe" "$@"; }
# wait_log TEXT [COUNT]: until Quorvel's log holds COUNT (default 1) entries with TEXT.
log_has() { [ "$(grep -cF -- "$1" "$quorvel_log")" -ge "$2" ]; }
wait_log() { wait_until 30 "${2:-1} event-log entries \"$1\"" log_has "$1" "${2:-1}"; }
# file_has FILE COUNT [TEXT]: FILE holds COUNT lines (with TEXT).
file_has() { [ -f "$1" ] && [ "$(grep -cF -- "${3:-}" "$1")" -ge "$2" ]; }
# A click on the icon, answered by Quorvel with its menu, proves that its message loop has
# taken a message posted after this moment (the library check runs before each message);
# Esc closes the menu again.
loop_passed() {
  window cursor 360 160 >/dev/null
  window post BW_Halvoric_Class BW_Halvoric_Wnd 1024 0 516
  window menu --wait 10000 >/dev/null
  window menu-keys escape >/dev/null
  window menu-closed --wait 5000 >/dev/null
}
: >"$quorvel_log"

step "6. Start Quorvel: it checks the service, takes its per-session lock, starts the trace relay and runs its hidden window"
quorvel &
quorvel_pid=$!
window find BW_Halvoric_Class BW_Halvoric_Wnd --wait 20000
# Quorvel creates its running event after its window.
probe open event 'Global\__Korvane_QuorvelRunning' --retry-for 20000 --wait 5000
window find Korvane_K7302_Server_Class Korvane_K7302_Server --wait 10000
echo "Quorvel started the K7302 server stand-in"
wait_log "Entering the Quorvel Windows message loop."
show_log 20

step "7. A second instance forwards its option to the running one and exits with 1"
set +e
quorvel -s0; echo "second instance with -s0 exited with $?"
set -e
wine64 reg query "$suite_key" /v QuorvelHidden | tr -d '\r' | grep QuorvelHidden
quorvel -s1 || true
show_log 4

step "8. Live tracing: the viewer stand-in asks for tracing; an instrument library posts traced calls; Quorvel relays them as XML"
viewer_stop='Local\QuorvelDemoViewerStop'
capture=$WINEPREFIX/drive_c/demo-viewer.txt
rm -f "$capture"
wine64 "$bin/sightline.exe" --status 1 --echo --capture 'C:\demo-viewer.txt' --stop-event "$viewer_stop" </dev/null &
viewer_pid=$!
sim_out=$(wine64 "$bin/instrument-sim.exe" --mix small --calls 2 --wait-enabled 20000 --app-name demo.exe)
echo "$sim_out"
acked=$(echo "$sim_out" | sed -n 's/.* ack=\([0-9]*\).*/\1/p')
# The viewer has shown every message that the relay took before it is stopped.
wait_until 30 "the viewer to receive $acked messages" file_has "$capture" "${acked:?no ack count}"
probe open event "$viewer_stop" --set >/dev/null
wait $viewer_pid || true
show_log 3
source scripts/demo_trace.sh
demo_trace 8b

step "9. Another vendor's installer overwrites the suite's gpib-32.dll: Quorvel warns once in a balloon, marks the library replaced and switches the suite's 488 library off"
system32=$WINEPREFIX/drive_c/windows/system32
gpib_values() {
  for name in Gpib32Status Korvane488Enabled; do
    wine64 reg query "$suite_key" /v "$name" 2>/dev/null | tr -d '\r' | grep "$name" || echo "    $name (not set)"
  done
}
wine64 reg add "$suite_key" /v Gpib32Status /t REG_SZ /d 1 /f >/dev/null
status_replaced() { wine64 reg query "$suite_key" /v Gpib32Status 2>/dev/null | tr -d '\r' | grep -q 'REG_SZ *2$'; }
run cp "$bin/vendor-dlls/korvane/gpib-32.dll" "$system32/gpib-32.dll"
loop_passed
echo "the suite's own library, once Quorvel has taken a message after the copy (no warning):"
gpib_values
if status_replaced; then echo "the suite's own library was taken for a replacement" >&2; exit 1; fi
run cp "$bin/vendor-dlls/other-vendor/gpib-32.dll" "$system32/gpib-32.dll"
wait_until 30 "Gpib32Status 2" status_replaced
# Wine's tray shows the balloon (a tooltip window) a moment after the request. The picture
# is the balloon with a margin around it, kept inside the screen.
read -r x y w h < <(window shown tooltips_class32 --wait 10000 --drawn --geometry | tr -d '\r' |
  sed 's/^\([0-9]*\)x\([0-9]*\)+\([0-9-]*\)+\([0-9-]*\)$/\3 \4 \1 \2/')
left=$((x > 10 ? x - 10 : 0)); top=$((y > 10 ? y - 10 : 0))
right=$((x + w + 10 < screen_width ? x + w + 10 : screen_width))
bottom=$((y + h + 10 < screen_height ? y + h + 10 : screen_height))
import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$build/gpib-warning.png"
echo "another vendor's library (warned; the balloon is in $build/gpib-warning.png):"
gpib_values
loop_passed
echo "once Quorvel has taken another message: the status stays 2, so the replacement is not reported again"
gpib_values

step "10. The installation report: Quorvel wrote it at start-up; \"-q\" from a second instance writes it again"
report="$WINEPREFIX/drive_c/ProgramData/Korvane/Korvane Ombrix/Korvane Ombrix Information.txt"
rm -f "$report"
set +e
quorvel -q; echo "second instance with -q exited with $?"
set -e
show_log 2
sed 's/\r$//; s/^/  | /' "$report"

step "11. A click on the icon opens the tray menu, built from what is installed; its items are read inside Quorvel"
window cursor 360 160 >/dev/null  # the menu opens at the pointer
run window post BW_Halvoric_Class BW_Halvoric_Wnd 1024 0 516
window menu --wait 5000
window menu-items --wait 5000 | sed 's/^/  | /'

step "12. Choosing \"Korvane &Linkfinder\" (its mnemonic L) rewrites the installation report, then starts the tool"
tool_record=$WINEPREFIX/drive_c/suite-tools-demo.log
rm -f "$tool_record"
run window menu-keys l
window menu-closed --wait 3000
wait_until 30 "the started tool's record" file_has "$tool_record" 1
show_log 1
echo "what the started tool recorded:"
sed 's/\r$//; s/^/  /' "$tool_record"
echo "Utilities > &Quickprobe (1066), by the keys that lead to it in the menu as read:"
window post BW_Halvoric_Class BW_Halvoric_Wnd 1024 0 516
run window menu-choose 1066 --wait 5000
window menu-closed --wait 3000
wait_until 30 "the second tool's record" file_has "$tool_record" 2
sed -n '2p' "$tool_record" | sed 's/\r$//; s/^/  /'

step "13. \"&About Korvane Quorvel\" (mnemonic A) shows the installation report in a message box; OK closes it"
about='Korvane Ombirx Suite Information'
window post BW_Halvoric_Class BW_Halvoric_Wnd 1024 0 516
run window menu-keys a --wait 5000
window box "$about" --wait 5000 | sed 's/^/  | /'
run window box "$about" --press 1
window gone '#32770' "$about" --wait 5000

step "14. \"-x\" from a second instance closes Quorvel; the first exits with 0; its running event is reset and gone"
set +e
quorvel -x; echo "second instance with -x exited with $?"
wait $quorvel_pid; echo "Quorvel exited with $?"
probe open event 'Global\__Korvane_QuorvelRunning' --wait 0
set -e
show_log 3

wait_until 30 "the K7302 server stand-in to record its stop" file_has "$WINEPREFIX/drive_c/k7302-demo.log" 1 stopped
echo "what the K7302 server stand-in recorded:"
sed 's/^/  /' "$WINEPREFIX/drive_c/k7302-demo.log"

step "15. Stop the service stand-in through its stop event"
probe open event "$stop_event" --set >/dev/null
wait $service_pid && echo "the service stand-in stopped cleanly"

step "16. Pictures from Wine's shell desktop: the open tray menu, the About box, and the icon with a second instance's balloon"
QUORVEL_BUILD=$build scripts/screenshot-tray.sh --menu "$build/tray-menu.png" --about "$build/about-box.png" \
  "$build/tray-icon.png"

demo_package_remove

printf '\n== demo finished\n'
