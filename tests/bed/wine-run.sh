#!/bin/bash
# Runs one Windows test executable under Wine in a fresh prefix of its own, then stops
# that prefix's wineserver so that nothing the test started is left behind.
#   wine-run.sh EXE [ARGS...]
# Environment: QUORVEL_WINE_ROOT (the test bed; default: beside the executable's bin/),
# QUORVEL_TEST_NAME (names the prefix), WINEDEBUG.
# Wine writes debug channels (the event log among them) to the Unix standard error that
# every process of the prefix inherits, whatever its Windows handles say. The run sends
# that stream to the file QUORVEL_WINE_LOG (and prints it at the end), and by default turns
# on the event-log channel with process ids, so a test can read the log entries of itself
# and of its children.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=${1:?usage: wine-run.sh EXE [ARGS...]}
shift
root=${QUORVEL_WINE_ROOT:-$(cd "$(dirname "$exe")/.." && pwd)/wine}
name=${QUORVEL_TEST_NAME:-$(basename "$exe" .exe)}
prefix=$root/prefixes/$name

# Run by hand, without the test fixture's bed: set one up for this run and shut its Xvfb
# down again at the end (the booted template stays for the next run).
bed_up() {
  [ -f "$root/display" ] && { [ -n "${QUORVEL_DISPLAY:-}" ] || kill -0 "$(cat "$root/xvfb.pid" 2>/dev/null)" 2>/dev/null; }
}
own_bed=0
if ! bed_up; then
  "$here/wine-bed.sh" setup "$root" || exit 1
  own_bed=1
fi
"$here/wine-bed.sh" clone "$root" "$prefix" || exit 1

export PATH=/usr/lib/wine:$PATH WINEARCH=win64 WINEPREFIX=$prefix
export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=${WINEDEBUG:--all,+pid,+eventlog}
export QUORVEL_WINE_LOG=$root/prefixes/$name.stderr.log
export DISPLAY=${DISPLAY_OVERRIDE:-$(cat "$root/display")}
export QUORVEL_BIN_DIR=$(cd "$(dirname "$exe")" && pwd)

# Every process appends to the file itself (no copying process in between), so a line is
# in the file before the process that wrote it has exited.
: >"$QUORVEL_WINE_LOG"
wine64 "$exe" "$@" 2>>"$QUORVEL_WINE_LOG"
rc=$?
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
cat "$QUORVEL_WINE_LOG" >&2
[ $own_bed = 1 ] && "$here/wine-bed.sh" cleanup "$root"
exit $rc
