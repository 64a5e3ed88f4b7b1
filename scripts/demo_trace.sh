# The demo's recording step, sourced by demo.sh while Quorvel runs: quorvel-trace captures
# the traced calls of instrument-library stand-ins as Quorvel relays them, showing the calls
# that fail as they happen, then lists calls, prints the summary, draws the timeline and
# writes the report page with a picture of it into the build tree. Uses demo.sh's $root,
# $bin, $build, step, run and probe.

# Waits up to $2 seconds for the file $1 to contain the text $3.
wait_for_text() {
  local deadline=$((SECONDS + $2))
  until grep -q "$3" "$1" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || { echo "timed out waiting for \"$3\" in $1"; return 1; }
    sleep 0.1
  done
}

demo_trace() {
  step "$1. Recording instrument I/O: quorvel-trace captures the relayed calls of three traced programs (showing the failed ones live), then lists, summarises and draws them"
  local stop='Local\QuorvelDemoCaptureStop' out=$build/trace-capture.out
  local capture_file=$WINEPREFIX/drive_c/demo-capture.qtrace
  # Emptied first, so that the wait below never reads an earlier run's output.
  : >"$out"
  printf '$ quorvel-trace capture -o C:\\demo-capture.qtrace --stop-event %s --show --errors\n' "$stop"
  wine64 "$bin/quorvel-trace.exe" capture -o 'C:\demo-capture.qtrace' --stop-event "$stop" --show --errors \
    </dev/null >"$out" 2>&1 &
  local capture_pid=$!
  wait_for_text "$out" 30 "capturing to"
  cat "$out"
  run wine64 "$bin/instrument-sim.exe" --processes 3 --threads 2 --calls 400 --wait-enabled 20000 --app-name station.exe
  probe open event "$stop" --set >/dev/null
  wait $capture_pid
  tail -n +2 "$out"
  printf '$ head -c 400 C:\\demo-capture.qtrace\n'
  head -c 400 "$capture_file"
  printf '...\n'
  printf '$ quorvel-trace list C:\\demo-capture.qtrace | head -n 8\n'
  wine64 "$bin/quorvel-trace.exe" list 'C:\demo-capture.qtrace' >"$build/trace-list.txt"
  head -n 8 "$build/trace-list.txt"
  printf '$ quorvel-trace list C:\\demo-capture.qtrace --errors --context 1 | tail -n 8\n'
  wine64 "$bin/quorvel-trace.exe" list 'C:\demo-capture.qtrace' --errors --context 1 >"$build/trace-errors.txt"
  tail -n 8 "$build/trace-errors.txt"
  run wine64 "$bin/quorvel-trace.exe" summary 'C:\demo-capture.qtrace'
  run wine64 "$bin/quorvel-trace.exe" timeline 'C:\demo-capture.qtrace' -o "Z:$build/trace-timeline.svg"
  echo "timeline picture: $build/trace-timeline.svg"
  run wine64 "$bin/quorvel-trace.exe" report 'C:\demo-capture.qtrace' -o "Z:$build/trace-report.html"
  run python3 "$root/probes/browser/headless_chromium.py" screenshot "$build/trace-report.html" \
    "$build/trace-report.png" 1280 1700
  echo "report page: $build/trace-report.html (open it in any browser, offline); its picture, taken by" \
    "headless Chromium: $build/trace-report.png"
}
