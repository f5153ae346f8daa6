# Sourced by the scripts that run Windows programs: one Wine session (with
# its own prefix under build/ and an X display) for a whole run.

VELTA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

velta_wine_env() {
  export WINEPREFIX="${WINEPREFIX:-$VELTA_ROOT/build/wine/pfx}"
  export WINEDEBUG="${WINEDEBUG:--all,err+eventlog}"
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # Event-log entries of services land on services.exe's standard error:
  # tests read them here. A private prefix takes a file of its own.
  export VELTA_SERVICES_LOG="${VELTA_SERVICES_LOG:-$VELTA_ROOT/build/wine/services.log}"
}

# Starts Xvfb unless a display is there already: Wine's desktop process must
# see a display from the start, or GUI programs started later hang.
velta_display_start() {
  export DISPLAY="${DISPLAY:-:99}"
  if xdpyinfo >/dev/null 2>&1; then return 0; fi
  Xvfb "$DISPLAY" -screen 0 1024x768x24 >"$VELTA_ROOT/build/wine/xvfb-${DISPLAY#:}.log" 2>&1 &
  VELTA_XVFB_PID=$!
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
}

velta_wine_start() {
  mkdir -p "$VELTA_ROOT/build/wine"
  velta_wine_env
  velta_display_start
  if [ ! -d "$WINEPREFIX" ]; then
    wine wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  # Without a window manager Wine stalls 2 s whenever a window goes away.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
  wineserver -k 2>/dev/null || true
  wineserver -w
  # One persistent server and one services.exe for the whole run: the
  # service manager answers at once instead of reporting a locked database.
  # The session's processes outlive the caller: they must not hold its
  # output open (ctest waits for a test's output to end).
  wineserver -p >/dev/null 2>&1
  mkdir -p "$(dirname "$VELTA_SERVICES_LOG")"
  wine wineboot >/dev/null 2>"$VELTA_SERVICES_LOG" || true
  # Tells the programs run inside (ctest's end-to-end tests) that the
  # session of this prefix is up.
  export VELTA_WINE_SESSION="$WINEPREFIX"
}

# Ends the session and starts it again, as a restart of Windows would:
# services.exe comes up anew and starts the services registered to start
# with the system.
velta_wine_reboot() {
  wineserver -k 2>/dev/null || true
  wineserver -w
  wineserver -p >/dev/null 2>&1
  wine wineboot >/dev/null 2>>"$VELTA_SERVICES_LOG" || true
}

# Runs a Windows program for a test: its output, CR LF ended lines made LF
# ended, in out; its exit code in rc.
velta_run_wine() {
  out=$(wine "$@" 2>&1)
  rc=$?
  out=${out//$'\r'/}
}

velta_wine_stop() {
  wineserver -k 2>/dev/null || true
  unset VELTA_WINE_SESSION
  if [ -n "${VELTA_XVFB_PID:-}" ]; then
    kill "$VELTA_XVFB_PID" 2>/dev/null || true
    wait "$VELTA_XVFB_PID" 2>/dev/null || true
    unset VELTA_XVFB_PID
  fi
}

# For a test script: joins the session of scripts/test when it runs in one,
# or opens a session of its own (VELTA_OWN_SESSION=1, for velta_wine_leave).
# Returns non-zero when the joined session has no display for GUI programs.
velta_wine_join() {
  velta_wine_env
  VELTA_OWN_SESSION=0
  if [ "${VELTA_WINE_SESSION:-}" != "$WINEPREFIX" ]; then
    VELTA_OWN_SESSION=1
    velta_wine_start
  elif [ -z "${DISPLAY:-}" ]; then
    echo "FAILED: the Wine session's DISPLAY is not exported; GUI programs would hang" >&2
    return 1
  fi
}

velta_wine_leave() {
  if [ "${VELTA_OWN_SESSION:-0}" = 1 ]; then velta_wine_stop; fi
}
