#!/bin/bash
# Runs one Windows test executable under Wine in a fresh prefix of its own, then stops
# that prefix's wineserver so that nothing the test started is left behind.
#   wine-run.sh EXE [ARGS...]
# Environment: QUORVEL_WINE_ROOT (the test bed; default: beside the executable's bin/),
# QUORVEL_TEST_NAME (names the prefix), QUORVEL_BED_WINEDEBUG (debug channels added to the
# bed's own), QUORVEL_DISPLAY (an X display to use instead of the run's own Xvfb, to watch
# a test; tests/bed/xvfb.sh says why each run has one of its own). The caller's Wine
# settings (WINEDEBUG, WINEPREFIX, WINEARCH, ...) and DISPLAY are not used: the run sets
# everything it relies on.
# Wine writes debug channels (the event log among them) to the Unix standard error that
# every process of the prefix inherits, whatever its Windows handles say. The run sends
# that stream to the file QUORVEL_WINE_LOG (and prints it at the end), and always turns on
# the event-log channel with process ids, so a test can read the log entries of itself and
# of its children.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
. "$here/xvfb.sh"
exe=${1:?usage: wine-run.sh EXE [ARGS...]}
shift
root=${QUORVEL_WINE_ROOT:-$(cd "$(dirname "$exe")/.." && pwd)/wine}
name=${QUORVEL_TEST_NAME:-$(basename "$exe" .exe)}
prefix=$root/prefixes/$name
mkdir -p "$root"

# A run started by hand, without the test fixture's set-up, boots the template itself; the
# booted template stays for the next run.
"$here/wine-bed.sh" clone "$root" "$prefix" || exit 1
display=$(run_display "$prefix") || exit 1
trap 'run_display_stop "$prefix"' EXIT
bed_env "$prefix" "$display"
export WINEDEBUG=-all,+pid,+eventlog${QUORVEL_BED_WINEDEBUG:+,$QUORVEL_BED_WINEDEBUG}
export QUORVEL_WINE_LOG=$root/prefixes/$name.stderr.log
export QUORVEL_BIN_DIR=$(cd "$(dirname "$exe")" && pwd)

# Every process appends to the file itself (no copying process in between), so a line is
# in the file before the process that wrote it has exited.
: >"$QUORVEL_WINE_LOG"
wine64 "$exe" "$@" 2>>"$QUORVEL_WINE_LOG"
rc=$?
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
cat "$QUORVEL_WINE_LOG" >&2
exit $rc
