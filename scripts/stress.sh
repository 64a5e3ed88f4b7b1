#!/bin/bash
# Runs the Windows test suite (ctest --preset win64) N times while busy loops keep every
# core loaded, then prints per test how often it failed. Exits non-zero when any run had a
# failure. Builds the Windows programs first when needed. Not part of scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat >&2 <<'EOF'
usage: scripts/stress.sh [N]
  Runs `ctest --preset win64` N times (default 10) with one busy loop per core (nproc)
  running beside it, and prints how often each test failed. Each run's output is kept in
  build/win64/stress/run-K.log. Exit code 0 when every run passed, 1 otherwise, 2 on a
  bad command line. QUORVEL_JOBS sets the parallel jobs of build and ctest (default 2).
EOF
  exit 2
}
[ $# -le 1 ] || usage
runs=${1:-10}
case $runs in -h|--help) usage ;; ''|*[!0-9]*|0) usage ;; esac
jobs=${QUORVEL_JOBS:-2}

scripts/setup.sh
echo "=== building win64"
cmake --preset win64 -DQUORVEL_WERROR=ON >/dev/null
cmake --build --preset win64 -j "$jobs" >/dev/null

out=build/win64/stress
rm -rf "$out"
mkdir -p "$out"

load_pids=()
stop_load() {
  local pid
  for pid in "${load_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${load_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  load_pids=()
}
trap stop_load EXIT
trap "exit 130" INT TERM
cores=$(nproc)
for _ in $(seq "$cores"); do
  (while :; do :; done) &
  load_pids+=($!)
done
echo "=== $cores busy loops started; $runs runs of the suite"

declare -A failures=()
broken_runs=0
start=$SECONDS
for k in $(seq "$runs"); do
  log=$out/run-$k.log
  run_start=$SECONDS
  if ctest --preset win64 -j "$jobs" >"$log" 2>&1; then
    echo "run $k/$runs: passed ($((SECONDS - run_start)) s)"
    continue
  fi
  # ctest lists the failed tests as "<tab>  12 - name (Failed)" after "The following tests FAILED:".
  failed=$(sed -n '/^The following tests FAILED:/,$ s/^[[:space:]]*[0-9]\+ - \([^ ]*\) (.*$/\1/p' "$log")
  if [ -z "$failed" ]; then
    broken_runs=$((broken_runs + 1))
    echo "run $k/$runs: ctest failed without naming a failed test (see $log)"
    continue
  fi
  for name in $failed; do failures[$name]=$((${failures[$name]:-0} + 1)); done
  echo "run $k/$runs: failed: $(echo $failed) ($((SECONDS - run_start)) s; see $log)"
done
stop_load

total=$(ctest --preset win64 -N | sed -n 's/^Total Tests: *//p')
echo
echo "=== $runs runs of $total tests under load in $((SECONDS - start)) s"
if [ ${#failures[@]} -eq 0 ] && [ $broken_runs = 0 ]; then
  echo "no test failed"
  exit 0
fi
echo "failed runs per test:"
for name in "${!failures[@]}"; do printf '  %3d of %d  %s\n' "${failures[$name]}" "$runs" "$name"; done | sort -rn
[ $broken_runs = 0 ] || echo "  $broken_runs run(s) failed without naming a test"
exit 1
