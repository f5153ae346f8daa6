#!/usr/bin/env bash
# veltactl.exe under Wine and Xvfb against the real service: veltactl.exe
# and veltad.exe side by side in a fresh directory, the service installed,
# the dialog worked through dialog-driver.exe as a user would (the service's
# commands, refused commands with their message boxes, the port typed and sent
# to the running service, the pages, the keyboard, minimising and restoring
# both ways in, a second start of the program, Esc), then its form at 96,
# 120 and 144 DPI (LogPixels of the prefix; captions checked in-process by
# form-layout-check.exe, sizes in proportion).
# Every step is checked where it lands: the dialog's texts and buttons, the
# service manager's state, veltactl.ini and the TCP port. Screenshots of the
# three pages are kept. The service is removed at the end, also after a
# failure.
#
#   dialog_e2e.sh VELTACTL_EXE VELTAD_EXE DIALOG_DRIVER_EXE SCM_DRIVER_EXE \
#                 NATIVE_BIN_DIR WORK_DIR ARTIFACT_DIR FORM_LAYOUT_CHECK_EXE
#
# Runs inside the Wine session of scripts/test (velta_wine_start); started
# on its own, it opens and closes a session of its own.
set -uo pipefail

if [ $# -ne 8 ]; then
  echo "usage: dialog_e2e.sh VELTACTL_EXE VELTAD_EXE DIALOG_DRIVER_EXE SCM_DRIVER_EXE NATIVE_BIN_DIR WORK_DIR" \
    "ARTIFACT_DIR FORM_LAYOUT_CHECK_EXE" >&2
  exit 2
fi
built_veltactl=$1
built_veltad=$2
driver=$3
scm_exe=$4
native_bin=$5
work=$6
artifacts=$7
layout_check=$8
export LC_ALL=C

source "$(dirname "$0")/../../scripts/wine-session.sh"
velta_wine_join || exit 1

probe=$native_bin/veltaping
dir=$work/dialog
veltactl=$dir/veltactl.exe
veltad=$dir/veltad.exe
ini=$dir/veltactl.ini
log=$dir/veltactl.log
port=11059
new_port=11061
installed=0
dialog_pid=
step_name=
started=$SECONDS

step() {
  step_name=$1
  printf '== %s (%ds)\n' "$step_name" $((SECONDS - started))
}

fail() {
  echo "FAILED in step '$step_name': $*" >&2
  if [ -n "$dialog_pid" ] && kill -0 "$dialog_pid" 2>/dev/null; then
    import -window root "$artifacts/dialog_failure.png" 2>/dev/null &&
      echo "screenshot of the failure: $artifacts/dialog_failure.png" >&2
  elif [ -n "$dialog_pid" ]; then
    wait "$dialog_pid"
    echo "the dialog's process has ended, with exit code $?" >&2
    dialog_pid=
  fi
  echo "--- veltactl.ini" >&2
  if [ -f "$ini" ]; then cat -A "$ini" >&2; else echo "(none)" >&2; fi
  echo "--- veltactl.log" >&2
  if [ -f "$log" ]; then cat -A "$log" >&2; else echo "(none)" >&2; fi
  echo "--- the dialog's own output" >&2
  cat "$dir/veltactl.out" >&2 2>/dev/null
  exit 1
}

# Stops a running service before removing it: a running service that is
# removed stays until it stops, and blocks the next install.
remove_service() {
  wine "$scm_exe" stop >/dev/null 2>&1
  wine "$scm_exe" wait STOPPED 20 >/dev/null 2>&1
  wine "$veltad" /uninstall /silent
}

set_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 ||
    fail "cannot set LogPixels to $1"
}

cleanup() {
  local rc=$?
  [ "${dpi:-96}" = 96 ] || set_dpi 96
  if [ -n "$dialog_pid" ] && kill -0 "$dialog_pid" 2>/dev/null; then
    echo "== cleanup: the dialog still runs, stopping it"
    kill "$dialog_pid" 2>/dev/null
    wait "$dialog_pid" 2>/dev/null
  fi
  if [ "$installed" = 1 ]; then
    echo "== cleanup: stop and /uninstall the service"
    remove_service || echo "cleanup: /uninstall failed with $?" >&2
  fi
  velta_wine_leave
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# One driver action that must succeed; its output is shown indented.
drive() {
  velta_run_wine "$driver" "$@"
  [ -n "$out" ] && sed 's/^/   /' <<<"$out"
  [ $rc -eq 0 ] || fail "dialog-driver $* exited with $rc"
}

# Waits for the status check to end and compares the status line (as
# UTF-16, in the driver) and the buttons' enabled states.
#   expect_status TEXT BUTTONS
expect_status() {
  drive status 15 "$1"
  local buttons
  buttons=$(sed -n 's/^buttons: //p' <<<"$out")
  [ "$buttons" = "$2" ] || fail "buttons are '$buttons', expected '$2'"
}

# A command button: the click is posted (its handler keeps the GUI thread
# for the 2 s status check), then the check must end.
post_click() { drive post-click "$1"; }

# One key press through the system's input, and a line the driver must
# print after it (the focus, or the page).
#   key KEYS LINE
key() {
  drive key "$1"
  grep -qxF "$2" <<<"$out" || fail "after $1: expected '$2'"
}

ini_value() {
  [ -f "$ini" ] || return 1
  awk -v section="[$1]" -v key="$2" '
    { sub(/\r$/, "") }
    /^\[/ { inside = ($0 == section); next }
    inside && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }' "$ini"
}

expect_ini() {
  local value
  value=$(ini_value "$1" "$2")
  [ "$value" = "$3" ] || fail "veltactl.ini [$1] $2 is '$value', expected '$3'"
  echo "   veltactl.ini: [$1] $2=$value"
}

wait_state() {
  velta_run_wine "$scm_exe" wait "$1" "$2"
  [ $rc -eq 0 ] || fail "service not $1 within $2 s: $out"
  echo "   service manager: $out"
}

probe_ok() {
  local p=$1 seconds=${2:-5} deadline result
  deadline=$((SECONDS + seconds))
  while :; do
    result=$("$probe" -n 1 -w 1000 "127.0.0.1:$p" 2>&1) && { echo "   port $p answers: $(head -1 <<<"$result")"; return 0; }
    [ $SECONDS -ge $deadline ] && fail "no echo on port $p: $result"
    sleep 0.1
  done
}

probe_refused() {
  local p=$1 result
  result=$("$probe" -n 1 -w 1000 "127.0.0.1:$p" 2>&1)
  [ $? -eq 1 ] || fail "port $p answers: $result"
  echo "   port $p refuses connections"
}

# A start may still be pending at the status check; Osveži shows the state
# once it settled.
expect_running_after_start() {
  drive status 15
  if grep -q '^status: Server se pokre' <<<"$out"; then
    echo "   still starting: Osveži"
    post_click refresh
    drive status 15
  fi
  local shown buttons
  shown=$(sed -n 's/^status: //p' <<<"$out")
  buttons=$(sed -n 's/^buttons: //p' <<<"$out")
  [ "$shown" = "Server je pokrenut." ] || fail "the status is '$shown', expected 'Server je pokrenut.'"
  [ "$buttons" = "start=0 pause=1 continue=0 stop=1 refresh=1 send=1 details=hidden" ] ||
    fail "buttons are '$buttons' while running"
}

# Waits (bounded) for the dialog's process to end; its exit code in rc.
wait_dialog_exit() {
  local deadline=$((SECONDS + $1))
  while kill -0 "$dialog_pid" 2>/dev/null; do
    [ $SECONDS -ge $deadline ] && fail "the dialog still runs after $1 s"
    sleep 0.1
  done
  wait "$dialog_pid"
  rc=$?
  dialog_pid=
}

screenshot() {
  local shot=$artifacts/dialog_$1.png
  # The page was switched synchronously; its painting follows when the
  # dialog's queue runs empty.
  sleep 0.5
  import -window root "$shot" || fail "no screenshot (imagemagick's import, DISPLAY=${DISPLAY:-})"
  echo "   screenshot: $shot"
}

# ---------------------------------------------------------------------------

step "prerequisites"
[ -x "$probe" ] || fail "$probe is missing: build the native preset first"
for program in "$built_veltactl" "$built_veltad" "$driver" "$scm_exe" "$layout_check"; do
  [ -f "$program" ] || fail "$program is missing"
done
for p in $port $new_port; do
  if "$probe" -n 1 -w 1000 "127.0.0.1:$p" >/dev/null 2>&1; then fail "port $p is taken by another program"; fi
done
if wine "$scm_exe" state >/dev/null 2>&1; then
  # Left by a run that was killed.
  echo "   removing a VeltaService left installed in $WINEPREFIX"
  velta_run_wine "$built_veltad" /uninstall /silent
  wine "$scm_exe" stop >/dev/null 2>&1
  wine "$scm_exe" wait STOPPED 20 >/dev/null 2>&1
  wine "$scm_exe" state >/dev/null 2>&1 && fail "cannot remove the VeltaService left installed"
fi
if wine "$driver" read title >/dev/null 2>&1; then
  fail "a veltactl.exe already runs in this Wine session"
fi
mkdir -p "$artifacts" || fail "cannot create $artifacts"
rm -f "$artifacts"/dialog_*.png

step "fresh directory $dir, service installed"
rm -rf "$dir"
mkdir -p "$dir" || fail "cannot create $dir"
{ cp "$built_veltactl" "$veltactl" && cp "$built_veltad" "$veltad"; } || fail "cannot copy the programs"
velta_run_wine "$veltad" /install /silent
[ $rc -eq 0 ] || fail "/install exited with $rc: $out"
installed=1
wait_state STOPPED 5

step "start veltactl.exe: the service is stopped, only Start and Osveži enabled"
wine "$veltactl" >"$dir/veltactl.out" 2>&1 &
dialog_pid=$!
drive wait-window 30
expect_status "Server nije pokrenut." "start=1 pause=0 continue=0 stop=0 refresh=1 send=0 details=hidden"
grep -q '^page: 0 Server$' <<<"$out" || fail "the dialog does not open on the Server page"
# The dialog writes its settings, defaults included, as soon as it opens.
expect_ini Connections Port $port
expect_ini Server StartType 0

step "Start: the service runs, StartType=1"
post_click start
expect_ini Server StartType 1
wait_state RUNNING 20
expect_running_after_start
probe_ok $port

step "Pauza: paused, StartType=0"
post_click pause
expect_ini Server StartType 0
expect_status "Server je pauziran." "start=0 pause=0 continue=1 stop=1 refresh=1 send=1 details=hidden"
wait_state PAUSED 5
probe_refused $port

step "Nastavi: running again, StartType=1"
post_click continue
expect_ini Server StartType 1
expect_status "Server je pokrenut." "start=0 pause=1 continue=0 stop=1 refresh=1 send=1 details=hidden"
wait_state RUNNING 5
probe_ok $port

step "Konekcije: port $new_port typed, then sent to the running service"
drive tab 1
drive type port "$new_port"
grep -qx "after: $new_port" <<<"$out" || fail "the port edit does not show $new_port"
expect_ini Connections Port $new_port
probe_ok $port
post_click send
expect_status "Server je pokrenut." "start=0 pause=1 continue=0 stop=1 refresh=1 send=1 details=hidden"
grep -q '^page: 0 Server$' <<<"$out" || fail "the notify button did not return to the Server page"
probe_ok $new_port 10
probe_refused $port
[ "$(grep -caP 'ponovo u\xE8itana\.\r$' "$log")" = 1 ] || fail "the service did not log one reload"
echo "   the service logged the reload"

step "Stop: stopped, StartType=0"
post_click stop
expect_ini Server StartType 0
expect_status "Server nije pokrenut." "start=1 pause=0 continue=0 stop=0 refresh=1 send=0 details=hidden"
wait_state STOPPED 5
probe_refused $new_port

step "a refused command: stopped behind the dialog's back, then Pauza"
post_click start
expect_ini Server StartType 1
wait_state RUNNING 20
expect_running_after_start
probe_ok $new_port
velta_run_wine "$scm_exe" stop
[ $rc -eq 0 ] || fail "scm-driver stop exited with $rc: $out"
wait_state STOPPED 20
expect_status "Server je pokrenut." "start=0 pause=1 continue=0 stop=1 refresh=1 send=1 details=hidden"
echo "   the dialog still shows the service running"
post_click pause
# Pause's own value is written before the request, the opposite only after
# the box is closed.
expect_ini Server StartType 0
drive close-box 'Komanda nije prihv\u0107ena\nServer nije pokrenut.'
grep -qx 'box title: Informacija' <<<"$out" || fail "the box's title is not Serbian"
expect_ini Server StartType 1
expect_status "Server nije pokrenut." "start=1 pause=0 continue=0 stop=0 refresh=1 send=0 details=hidden"

step "a refused Stop keeps the switch off: paused, stopped behind the dialog's back, then Stop"
post_click start
expect_ini Server StartType 1
wait_state RUNNING 20
expect_running_after_start
post_click pause
expect_ini Server StartType 0
expect_status "Server je pauziran." "start=0 pause=0 continue=1 stop=1 refresh=1 send=1 details=hidden"
velta_run_wine "$scm_exe" stop
[ $rc -eq 0 ] || fail "scm-driver stop exited with $rc: $out"
wait_state STOPPED 20
post_click stop
drive close-box 'Komanda nije prihv\u0107ena\nServer nije pokrenut.'
# Off before the click, off after it: a fixed opposite would switch the
# server on for the next start of the system.
expect_ini Server StartType 0
expect_status "Server nije pokrenut." "start=1 pause=0 continue=0 stop=0 refresh=1 send=0 details=hidden"

step "screenshots of the three pages"
drive tab 1
drive read port
[ "$out" = "$new_port" ] || fail "the port edit shows '$out'"
screenshot konekcije
drive tab 2
drive read lines
[ "$out" = "$(ini_value Log Lines)" ] || fail "the lines edit shows '$out', the file has '$(ini_value Log Lines)'"
screenshot zapisi
drive tab 0
expect_status "Server nije pokrenut." "start=1 pause=0 continue=0 stop=0 refresh=1 send=0 details=hidden"
screenshot server

step "the keyboard: pages with Ctrl+Tab and Ctrl+PgDn/PgUp, Tab and arrows, Enter and Space press"
key ctrl+tab "page: 1 Konekcije"
key ctrl+pgdn "page: 2 Zapisi"
key ctrl+shift+tab "page: 1 Konekcije"
key ctrl+pgup "page: 0 Server"
grep -qx 'focus: SysTabControl32 ""' <<<"$out" || fail "the page keys left the focus elsewhere than on the tabs"
key tab 'focus: Button "Start"'
grep -qx 'focus rectangles: shown' <<<"$out" || fail "no focus rectangles after keyboard use"
key right 'focus: Button "Osveži"'
key right 'focus: Button "Start"'
key tab 'focus: Button "Osveži"'
key tab 'focus: Button "OK"'
key shift+tab 'focus: Button "Osveži"'
key left 'focus: Button "Start"'
key enter 'focus: SysTabControl32 ""'
expect_ini Server StartType 1
wait_state RUNNING 20
expect_running_after_start
key tab 'focus: Button "Pauza"'
key right 'focus: Button "Stop"'
key space 'focus: SysTabControl32 ""'
expect_ini Server StartType 0
expect_status "Server nije pokrenut." "start=1 pause=0 continue=0 stop=0 refresh=1 send=0 details=hidden"
wait_state STOPPED 5

step "minimised through the application window (its taskbar button), restored the same way"
drive syscommand app minimize
drive is-iconic
drive syscommand app restore
expect_status "Server nije pokrenut." "start=1 pause=0 continue=0 stop=0 refresh=1 send=0 details=hidden"

step "minimised through the form (the keyboard's shortcut), restored by a second start"
drive syscommand form minimize
drive second-instance 15
drive is-foreground
kill -0 "$dialog_pid" 2>/dev/null || fail "the first instance has ended"
expect_status "Server nije pokrenut." "start=1 pause=0 continue=0 stop=0 refresh=1 send=0 details=hidden"

step "Esc closes the dialog"
drive esc 15
wait_dialog_exit 15
[ $rc -eq 0 ] || fail "veltactl.exe ended with $rc"
echo "   veltactl.exe ended with exit code 0"

declare -A width height
for dpi in 96 120 144; do
  step "$dpi DPI: every caption fits, the form in proportion"
  set_dpi "$dpi"
  velta_run_wine "$layout_check"
  sed 's/^/   /' <<<"$out"
  [ $rc -eq 0 ] || fail "form-layout-check at $dpi DPI"
  read -r _ width[$dpi] height[$dpi] _ _ _ shown_dpi <<<"$(grep '^client ' <<<"$out")"
  [ "$shown_dpi" = "$dpi" ] || fail "the form was built at $shown_dpi DPI"
  awk -v w="${width[$dpi]}" -v h="${height[$dpi]}" -v w0="${width[96]}" -v h0="${height[96]}" -v f="$dpi" \
    'BEGIN { f /= 96; exit !((w - w0 * f) ^ 2 <= 9 && (h - h0 * f) ^ 2 <= 9) }' ||
    fail "${width[$dpi]} x ${height[$dpi]} is not $dpi/96 of ${width[96]} x ${height[96]}"
  [ "$dpi" = 120 ] && continue
  wine "$veltactl" >"$dir/veltactl-$dpi.out" 2>&1 &
  dialog_pid=$!
  drive wait-window 30
  drive status 15
  screenshot "dpi$dpi"
  drive esc 15
  wait_dialog_exit 15
done
set_dpi 96
dpi=96

step "/uninstall"
wait_state STOPPED 5
velta_run_wine "$veltad" /uninstall /silent
[ $rc -eq 0 ] || fail "/uninstall exited with $rc: $out"
installed=0

echo "== dialog end-to-end: passed in $((SECONDS - started)) s"
