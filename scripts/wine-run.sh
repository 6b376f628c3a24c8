#!/usr/bin/env bash
# Runs Windows programs under Wine in the project's own prefix, build/wine-prefix.
# The prefix is made by the native 64-bit Wine, so that Wine's own services run
# natively; 32-bit programs (the product and its tests) run through Wine's 32-bit
# loader, under qemu-i386 where the kernel cannot run i386 code itself
# (scripts/setup.sh arranges that).
#   wine-run.sh PROGRAM.exe ARGS...   run one program (CMake's emulator for the tests)
#   wine-run.sh --prepare             make the prefix if it is missing, and wait until
#                                     Wine has finished setting it up
#   wine-run.sh --start-server        start an Xvfb display and one persistent wine
#                                     server: every program then starts in about a
#                                     second, not several, and its windows are real
#   wine-run.sh --stop-server
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${COBBLEWEAVE_WINEPREFIX:-$repo/build/wine-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${COBBLEWEAVE_DLL_OVERRIDES:+;$COBBLEWEAVE_DLL_OVERRIDES}"
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver64
# Marks a prefix that was made completely, and names the Wine that made it: with
# --prepare a prefix of another Wine (one made before the 32-bit Wine was
# installed lacks its 32-bit half) is made again.
ready="$WINEPREFIX/.cobbleweave-ready"
# ":N PID" of the Xvfb display that --start-server started.
display_file="$WINEPREFIX.display"

# Root runs Wine without the power to write where file permissions forbid, so
# that a read-only folder is read-only to the tests as it is to a user. The server
# too: it is the one that opens and creates files.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --bounding-set -dac_override,-dac_read_search --)
fi

prefix_is_ready() {
  [ -f "$ready" ] && [ "$(cat "$ready")" = "$ready_text" ]
}

# Makes the prefix unless it is ready. Only --prepare may remake a prefix of
# another Wine; a program run must not pull the prefix from under running tests.
prepare_prefix() {
  if [ "$1" = run ] && [ -f "$ready" ]; then
    return
  fi
  ready_text="$(dpkg-query -W -f='${Package}:${Architecture} ${Version}\n' wine64 wine32:i386)
dialogs: wine fonts, frames drawn by wine"
  if prefix_is_ready; then
    return
  fi
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Parallel callers wait for the one that makes the prefix.
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if ! prefix_is_ready; then
    echo "wine-run: making the Wine prefix $WINEPREFIX" >&2
    "$server" -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    env -u DISPLAY "$wine" wineboot.exe --init >/dev/null 2>&1 </dev/null
    # wineboot returns before the services it started have finished the prefix.
    "$server" -w
    # Dialogs that look and behave like Windows ones on a display without a window
    # manager: Wine's own fonts (Debian's wineboot leaves them out, and captions
    # then lack their close box glyph), frames drawn by Wine, and windows Wine
    # manages itself (else hiding one waits 2 s for a window manager's answer).
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
    local key='HKCU\Software\Wine\X11 Driver'
    env -u DISPLAY "$wine" reg.exe add "$key" /v Decorated /d N /f >/dev/null 2>&1 </dev/null
    env -u DISPLAY "$wine" reg.exe add "$key" /v Managed /d N /f >/dev/null 2>&1 </dev/null
    "$server" -w
    printf '%s\n' "$ready_text" >"$ready"
  fi
  exec 9>&-
}

# DISPLAY of the test display when it is up; none otherwise (a message box then
# returns at once).
use_test_display() {
  unset DISPLAY
  if [ -f "$display_file" ]; then
    local display pid
    read -r display pid <"$display_file" || true
    if [ -n "${pid:-}" ] && kill -0 "$pid" 2>/dev/null; then
      export DISPLAY="$display"
    fi
  fi
}

start_display() {
  use_test_display
  if [ -n "${DISPLAY:-}" ]; then
    return
  fi
  local number_file="$WINEPREFIX.display-number"
  rm -f "$number_file"
  # -displayfd picks a free display number and writes it once the server is ready.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" \
    >/dev/null 2>&1 </dev/null &
  local pid=$!
  for _ in $(seq 100); do
    if [ -s "$number_file" ]; then
      echo ":$(cat "$number_file") $pid" >"$display_file"
      rm -f "$number_file"
      use_test_display
      return
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "wine-run: Xvfb did not start" >&2
  exit 1
}

stop_display() {
  if [ -f "$display_file" ]; then
    local display pid
    read -r display pid <"$display_file" || true
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
    rm -f "$display_file"
  fi
}

case "${1:-}" in
  --prepare)
    prepare_prefix all
    ;;
  --start-server)
    prepare_prefix all
    start_display
    # Persistent until stopped. The first programs also start Wine's background
    # services, which inherit their output: start them here on /dev/null, or they
    # keep the first test's pipe open and the test never ends.
    nohup "${as_user[@]}" "$server" -p >/dev/null 2>&1 </dev/null &
    "${as_user[@]}" "$wine" cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
    # Likewise the desktop process, which Wine starts for the first program that
    # needs a window and ends a second after the last one has gone: a test that
    # started it would wait for it. A program with a window open keeps it up.
    nohup "${as_user[@]}" "$wine" notepad.exe >/dev/null 2>&1 </dev/null &
    # A 32-bit program, so that a broken i386 set-up shows here and not as a
    # timeout in every test.
    if ! "${as_user[@]}" "$wine" 'C:\windows\syswow64\cmd.exe' /c exit >/dev/null 2>&1 \
      </dev/null; then
      echo "wine-run: 32-bit programs do not run under Wine (see scripts/setup.sh)" >&2
      exit 1
    fi
    ;;
  --stop-server)
    "$server" -k >/dev/null 2>&1 || true
    stop_display
    ;;
  *)
    prepare_prefix run
    use_test_display
    # Rarely, under load, Wine gives up on starting a program before any of it
    # has run: it ends at once with a failure status and prints nothing. No
    # emulated program gets as far as its own code in that time (starting one
    # takes a third of a second at the least), so an end that quick is retried,
    # and said so.
    for attempt in 1 2 3; do
      started=$(date +%s%N)
      status=0
      "${as_user[@]}" "$wine" "$@" || status=$?
      elapsed_ms=$((($(date +%s%N) - started) / 1000000))
      if [ "$status" -eq 0 ] || [ "$elapsed_ms" -ge 150 ] || [ "$attempt" -eq 3 ]; then
        exit "$status"
      fi
      echo "wine-run: $1 ended with status $status after $elapsed_ms ms, before it could" \
        "start; starting it again" >&2
    done
    ;;
esac
