# Sourced by the test bed and the scripts that run Windows programs: the Wine environment
# they rely on, whatever the caller's environment holds.
#   bed_env PREFIX [DISPLAY]
# WINEDEBUG is quiet; a caller that needs debug channels sets it after this call.

bed_env() {
  unset WINESERVER WINELOADER WINEDLLPATH WINEPATH WINEESYNC WINEFSYNC WINE_LARGE_ADDRESS_AWARE
  case :$PATH: in
    *:/usr/lib/wine:*) ;;
    *) PATH=/usr/lib/wine:$PATH ;;
  esac
  export PATH WINEARCH=win64 WINEPREFIX=$1 WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
  if [ -n "${2:-}" ]; then export DISPLAY=$2; else unset DISPLAY; fi
}

# Polls the command every 0.1 s until it succeeds; after SECONDS it says what it waited
# for on standard error and fails.
#   wait_until SECONDS WHAT COMMAND...
wait_until() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      echo "timed out after ${seconds} s waiting for $what" >&2
      return 1
    fi
    sleep 0.1
  done
}
