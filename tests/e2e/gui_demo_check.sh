#!/usr/bin/env bash
# gui_demo.exe under Wine and Xvfb, driven from a second program: the
# driver reads every control's text (the Serbian letters as UTF-16), drives
# the handlers through window messages, then a screenshot of the whole
# screen is kept while the demo still shows, and the driver closes it with
# Esc. The demo must end with exit code 0.
#
#   gui_demo_check.sh GUI_DEMO_EXE GUI_DRIVER_EXE ARTIFACT_DIR
#
# Runs inside the Wine session of scripts/test (velta_wine_start); started
# on its own, it opens and closes a session of its own.
set -uo pipefail

if [ $# -ne 3 ]; then
  echo "usage: gui_demo_check.sh GUI_DEMO_EXE GUI_DRIVER_EXE ARTIFACT_DIR" >&2
  exit 2
fi
demo=$1
driver=$2
artifacts=$3
# The application's title is the program file's name without extension.
title=$(basename "$demo" .exe)

source "$(dirname "$0")/../../scripts/wine-session.sh"
velta_wine_join || exit 1

demo_pid=
finish() {
  local status=$1
  if [ -n "$demo_pid" ] && kill -0 "$demo_pid" 2>/dev/null; then
    echo "the demo is still running: stopping it" >&2
    kill "$demo_pid" 2>/dev/null
    wait "$demo_pid" 2>/dev/null
  fi
  velta_wine_leave
  exit "$status"
}

mkdir -p "$artifacts"
shot=$artifacts/gui_demo.png
rm -f "$shot"

demo_log=$artifacts/gui_demo.log
wine "$demo" >"$demo_log" 2>&1 &
demo_pid=$!

echo "== driver: check"
if ! wine "$driver" check "$title"; then
  echo "FAILED: the driver's checks" >&2
  import -window root "$shot" 2>/dev/null && echo "screenshot of the failure: $shot" >&2
  finish 1
fi

echo "== screenshot"
if ! import -window root "$shot"; then
  echo "FAILED: no screenshot (imagemagick's import, DISPLAY=${DISPLAY:-})" >&2
  finish 1
fi
echo "screenshot: $shot"

echo "== driver: close"
if ! wine "$driver" close "$title"; then
  echo "FAILED: closing the demo" >&2
  finish 1
fi
wait "$demo_pid"
status=$?
demo_pid=
if [ "$status" -ne 0 ]; then
  echo "FAILED: the demo ended with $status" >&2
  cat "$demo_log" >&2
  finish 1
fi
if ! grep -q "the form closed while it ran; the handler went on" "$demo_log"; then
  echo "FAILED: the Esc did not close the form inside the click's handler" >&2
  cat "$demo_log" >&2
  finish 1
fi
echo "gui demo check passed"
finish 0
