#!/usr/bin/env bash
# Runs a 64-bit Windows program under Wine, in the project's own Wine prefix.
#   wine-run.sh PROGRAM.exe ARGS...   run one program
#   wine-run.sh --start-server        keep one wine server up, so that every test
#                                     process starts in milliseconds, not seconds
#   wine-run.sh --stop-server
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${COBBLEWEAVE_WINEPREFIX:-$repo/build/wine-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${COBBLEWEAVE_DLL_OVERRIDES:+;$COBBLEWEAVE_DLL_OVERRIDES}"
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver64

# Root runs Wine without the power to write where file permissions forbid, so
# that a read-only folder is read-only to the tests as it is to a user. The server
# too: it is the one that opens and creates files.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --bounding-set -dac_override,-dac_read_search --)
fi

# The first program creates the prefix; parallel tests wait for it.
mkdir -p "$(dirname "$WINEPREFIX")"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  flock "$WINEPREFIX.lock" sh -c \
    "[ -f '$WINEPREFIX/system.reg' ] || '$wine' wineboot.exe --init >/dev/null 2>&1"
fi

# Dialogs that look and behave like Windows ones on a display without a window
# manager: Wine's own fonts in the prefix (Debian's wineboot leaves them out, and
# captions then lack their close box glyph), frames drawn by Wine, and windows
# Wine manages itself (else hiding one waits 2 s for a window manager's answer).
dialog_marker="$WINEPREFIX/.cobbleweave-dialogs"
if [ ! -f "$dialog_marker" ]; then
  flock "$WINEPREFIX.lock" sh -c "
    [ -f '$dialog_marker' ] && exit 0
    cp /usr/share/wine/fonts/* '$WINEPREFIX/drive_c/windows/Fonts/'
    '$wine' reg.exe add 'HKCU\\Software\\Wine\\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
    '$wine' reg.exe add 'HKCU\\Software\\Wine\\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    '$server' -w
    touch '$dialog_marker'"
fi

case "${1:-}" in
  --start-server)
    # Persistent until stopped. The first program also starts Wine's background
    # services, which inherit its output: start them here on /dev/null, or they
    # keep the first test's pipe open and the test never ends.
    nohup "${as_user[@]}" "$server" -p >/dev/null 2>&1 </dev/null &
    sleep 1
    "${as_user[@]}" "$wine" cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
    ;;
  --stop-server)
    "$server" -k >/dev/null 2>&1 || true
    ;;
  *)
    exec "${as_user[@]}" "$wine" "$@"
    ;;
esac
