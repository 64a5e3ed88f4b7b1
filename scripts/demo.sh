#!/bin/bash
# The main job: the whole system under Wine, step by step. It installs what is missing,
# builds the Windows programs, and runs them in a Wine prefix of its own with Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/setup.sh

build=$root/build/win64
echo "== building the Windows programs (MinGW-w64) in $build"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "${QUORVEL_JOBS:-2}" >/dev/null

wine_root=$build/wine
tests/bed/wine-bed.sh setup "$wine_root"
tests/bed/wine-bed.sh clone "$wine_root" "$wine_root/demo"
export PATH=/usr/lib/wine:$PATH WINEARCH=win64 WINEPREFIX=$wine_root/demo
export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all DISPLAY=$(cat "$wine_root/display")
bin=$build/bin
stop_event='Local\QuorvelDemoStop'

finish() {
  wineserver -k 2>/dev/null || true
  tests/bed/wine-bed.sh cleanup "$wine_root"
}
trap finish EXIT

step() { printf '\n== %s\n' "$*"; }
run() { printf '$ %s\n' "$*"; "$@"; }
probe() { wine64 "$bin/nko-probe.exe" "$@"; }

step "1. Start the suite service stand-in: it publishes its information block and running events, and serves the NKO pipe"
wine64 "$bin/ombrix-service.exe" --stop-event "$stop_event" --ready-event 'Local\QuorvelDemoReady' \
  --status-line "Korvane Ombrix Service (demo)" &
service_pid=$!
probe create event 'Local\QuorvelDemoReady' --wait 20000 >/dev/null
echo "the service stand-in is ready"

step "2. Process A asks for Global\\QuorvelDemoMemory: the name starts with Global\\, so the NKO server creates it"
probe create mapping 'Global\QuorvelDemoMemory' --write "Hello from process A" --hold 3000 &
probe_a=$!
sleep 1.5

step "3. Process B, a different process, opens the same Global\\ object by name and reads it"
probe open mapping 'Global\QuorvelDemoMemory' --read

step "4. A second creation of the same name is told that the object existed (last error 183)"
probe create mapping 'Global\QuorvelDemoMemory' --read
wait $probe_a

step "5. An event made through the server in A is signalled by B"
probe create event 'Global\QuorvelDemoEvent' --wait 10000 &
probe_a=$!
sleep 1
probe open event 'Global\QuorvelDemoEvent' --set
wait $probe_a

step "6. Stop the service stand-in through its stop event"
probe open event "$stop_event" --set >/dev/null
wait $service_pid && echo "the service stand-in stopped cleanly"

printf '\n== demo finished\n'
