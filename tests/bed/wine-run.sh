#!/bin/bash
# Runs one Windows test executable under Wine in a fresh prefix of its own, then stops
# that prefix's wineserver so that nothing the test started is left behind.
#   wine-run.sh EXE [ARGS...]
# Environment: QUORVEL_WINE_ROOT (the test bed; default: beside the executable's bin/),
# QUORVEL_TEST_NAME (names the prefix), QUORVEL_BED_WINEDEBUG (debug channels added to the
# bed's own), QUORVEL_DISPLAY (an X display to use instead of the run's own Xvfb, to watch
# a test). The caller's Wine settings (WINEDEBUG, WINEPREFIX, WINEARCH, ...) and DISPLAY
# are not used: the run sets everything it relies on.
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
# booted template stays for the next run. An Xvfb an earlier, killed run of this name left
# behind goes first: its files are in the prefix that the clone replaces.
xvfb_stop "$prefix/$kRunDisplayDir"
"$here/wine-bed.sh" clone "$root" "$prefix" || exit 1

# Each run has an X server of its own (unless QUORVEL_DISPLAY names one). Wine's GDI
# connection sends requests for windows that another of its connections may already have
# destroyed, and ignores the "no such drawable" errors that come back; on a server shared
# with other prefixes, a Wine process starting meanwhile can take over the closed
# connection's client slot and with it the window's id, for its desktop's input-only
# window, and the late request then kills the process with an X error (BadMatch).
display=${QUORVEL_DISPLAY:-}
if [ -z "$display" ]; then
  xvfb_start "$prefix/$kRunDisplayDir" || exit 1
  trap 'xvfb_stop "$prefix/$kRunDisplayDir"' EXIT
  display=$(cat "$prefix/$kRunDisplayDir/display")
fi
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
