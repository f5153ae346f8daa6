#!/usr/bin/env bash
# veltad.exe as a real service under Wine: installed from a fresh directory,
# driven through the service manager with scm-driver.exe, checked through
# its TCP port (native veltaping on 127.0.0.1), its activity log
# veltactl.log byte for byte and its event-log entries (services.exe's
# standard error). Removed again at the end, also after a failure.
#
#   service_e2e.sh VELTAD_EXE SCM_DRIVER_EXE NATIVE_BIN_DIR WORK_DIR
#
# Runs inside the Wine session of scripts/test (velta_wine_start); started
# on its own, it opens and closes a session of its own.
set -uo pipefail

if [ $# -ne 4 ]; then
  echo "usage: service_e2e.sh VELTAD_EXE SCM_DRIVER_EXE NATIVE_BIN_DIR WORK_DIR" >&2
  exit 2
fi
built_veltad=$1
scm_exe=$2
native_bin=$3
work=$4
export LC_ALL=C

source "$(dirname "$0")/../../scripts/wine-session.sh"
source "$(dirname "$0")/listen_burst.sh"
velta_wine_join || exit 1

probe=$native_bin/veltaping
reader_exe=$(dirname "$scm_exe")/file-holder.exe
veltaping_exe=$(dirname "$scm_exe")/veltaping.exe
holder=$native_bin/echo-host
dir=$work/service
veltad=$dir/veltad.exe
ini=$dir/veltactl.ini
log=$dir/veltactl.log
port=11059
moved_port=11060
installed=0
holder_pid=
step_name=
services_mark=0
started=$SECONDS

# The activity-log texts the run has produced so far, oldest first.
expected=()

step() {
  step_name=$1
  printf '== %s (%ds)\n' "$step_name" $((SECONDS - started))
}

fail() {
  echo "FAILED in step '$step_name': $*" >&2
  echo "--- $log" >&2
  if [ -f "$log" ]; then cat -A "$log" >&2; else echo "(none)" >&2; fi
  echo "--- veltactl.ini" >&2
  if [ -f "$ini" ]; then cat -A "$ini" >&2; else echo "(none)" >&2; fi
  echo "--- event log since the test began ($VELTA_SERVICES_LOG)" >&2
  services_log_since "$services_mark" >&2
  exit 1
}

cleanup() {
  local rc=$?
  exec 3>&-
  if [ -n "$holder_pid" ]; then
    kill -INT "$holder_pid" 2>/dev/null
    wait "$holder_pid" 2>/dev/null
  fi
  if [ "$installed" = 1 ]; then
    echo "== cleanup: veltad.exe /uninstall"
    wine "$veltad" /uninstall /silent || echo "cleanup: /uninstall failed with $?" >&2
  fi
  velta_wine_leave
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# services.exe keeps writing at its own offset: the file is never cut,
# a step reads what came after a mark.
services_size() { stat -c %s "$VELTA_SERVICES_LOG" 2>/dev/null || echo 0; }
services_log_since() { tail -c +$(($1 + 1)) "$VELTA_SERVICES_LOG" 2>/dev/null | tr -d '\0'; }

# Polls for a line of the event log (after mark) that matches every one of
# the given fixed texts.
wait_event() {
  local mark=$1 seconds=$2
  shift 2
  local deadline=$((SECONDS + seconds)) lines text
  while :; do
    lines=$(services_log_since "$mark" | grep 'err:eventlog')
    for text in "$@"; do lines=$(grep -F -- "$text" <<<"$lines"); done
    [ -n "$lines" ] && { echo "$lines"; return 0; }
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.1
  done
}

# Runs scm-driver and checks its result: the exit code is the Win32 error,
# cut to 8 bits by the process exit, so the printed code is checked too.
scm_expect() {
  local want=$1
  shift
  velta_run_wine "$scm_exe" "$@"
  [ -n "$out" ] && echo "   scm-driver $*: $out"
  if [ "$want" = 0 ]; then
    [ $rc -eq 0 ] || fail "scm-driver $* gave $rc: $out"
  else
    [ $rc -eq $((want % 256)) ] && grep -q "failed: $want\$" <<<"$out" ||
      fail "scm-driver $* should fail with $want, gave $rc: $out"
  fi
}

wait_state() {
  velta_run_wine "$scm_exe" wait "$1" "$2"
  [ $rc -eq 0 ] || fail "service not $1 within $2 s: $out"
  echo "   $out"
  last_state=$out
}

# An echo exchange on the port, retried until it succeeds or time runs out
# (a listener that moves comes up a loop pass after the request).
probe_ok() {
  local p=$1 text=$2 seconds=${3:-5} deadline out
  deadline=$((SECONDS + seconds))
  while :; do
    out=$("$probe" -n 1 -w 1000 "127.0.0.1:$p" 2>&1) && { echo "   port $p answers ($text): $(head -1 <<<"$out")"; return 0; }
    [ $SECONDS -ge $deadline ] && fail "no echo on port $p: $out"
    sleep 0.1
  done
}

probe_refused() {
  local p=$1 out
  out=$("$probe" -n 1 -w 1000 "127.0.0.1:$p" 2>&1)
  [ $? -eq 1 ] || fail "port $p still answers: $out"
  echo "   port $p refuses connections"
}

write_ini() { printf '%s\r\n' "$@" >"$ini"; }

# Polls until the activity log has at least the given number of lines.
wait_log_lines() {
  local want=$1 deadline=$((SECONDS + $2))
  while [ "$(tr -cd '\n' <"$log" 2>/dev/null | wc -c)" -lt "$want" ]; do
    [ $SECONDS -ge $deadline ] && fail "the activity log did not reach $want lines"
    sleep 0.1
  done
}

# The whole activity log, byte for byte: CR LF ended lines of the form
# "Velta server : dd-mm-yyyy, hh:nn:ss : text" with the expected texts.
check_log() {
  [ -f "$log" ] || fail "no activity log"
  local content
  content=$(cat "$log"; echo x)
  content=${content%x}
  [ "${content: -2}" = $'\r\n' ] || fail "activity log does not end with CR LF"
  local -a lines
  mapfile -t lines <<<"${content%$'\n'}"
  [ ${#lines[@]} -eq ${#expected[@]} ] ||
    fail "activity log has ${#lines[@]} lines, expected ${#expected[@]}: ${expected[*]}"
  local pattern=$'^Velta server : [0-9]{2}-[0-9]{2}-[0-9]{4}, [0-9]{2}:[0-9]{2}:[0-9]{2} : (.*)\r$' i
  for i in "${!lines[@]}"; do
    [[ ${lines[i]} =~ $pattern ]] || fail "line $((i + 1)) malformed: $(printf '%q' "${lines[i]}")"
    [ "${BASH_REMATCH[1]}" = "${expected[i]}" ] ||
      fail "line $((i + 1)) is $(printf '%q' "${BASH_REMATCH[1]}"), expected $(printf '%q' "${expected[i]}")"
  done
  echo "   activity log: ${#lines[@]} lines as expected"
}

# ---------------------------------------------------------------------------

step "prerequisites"
for program in "$probe" "$holder" "$reader_exe" "$veltaping_exe"; do
  [ -x "$program" ] || fail "$program is missing: build the native preset first"
done
[ -f "$built_veltad" ] || fail "$built_veltad is missing"
services_mark=$(services_size)
[ -f "$VELTA_SERVICES_LOG" ] || fail "no $VELTA_SERVICES_LOG: the Wine session did not start services.exe"
for p in $port $moved_port; do
  if "$probe" -n 1 -w 1000 "127.0.0.1:$p" >/dev/null 2>&1; then fail "port $p is taken by another program"; fi
done
if wine "$scm_exe" state >/dev/null 2>&1; then
  # Left by a run that was killed; ports are free, so nothing serves with it.
  echo "   removing a VeltaService left installed in $WINEPREFIX"
  velta_run_wine "$built_veltad" /uninstall /silent
  [ $rc -eq 0 ] || fail "cannot remove the VeltaService left installed: $rc"
fi

step "fresh directory $dir"
rm -rf "$dir"
mkdir -p "$dir" || fail "cannot create $dir"
cp "$built_veltad" "$veltad" || fail "cannot copy veltad.exe"

step "run from a console: veltad.exe explains itself and exits 0"
velta_run_wine "$veltad"
[ $rc -eq 0 ] || fail "veltad.exe from a console exited with $rc: $out"
echo "   $out"
grep -q "/install" <<<"$out" && grep -q "/uninstall" <<<"$out" || fail "no usage line: $out"
[ ! -e "$log" ] || fail "a console run wrote the activity log"

step "/install"
velta_run_wine "$veltad" /install
[ $rc -eq 0 ] || fail "/install exited with $rc: $out"
installed=1
echo "   $out"
[ "$out" = "VeltaService: installed." ] || fail "unexpected /install message: $out"
expected+=("Instaliran.")
scm_expect 0 state
wait_state STOPPED 1
out=$(wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\VeltaService' 2>&1) || fail "no service key: $out"
grep -q 'DisplayName *REG_SZ *VeltaServer' <<<"$out" || fail "display name: $out"
grep -qF 'ImagePath    REG_SZ    "' <<<"$out" || fail "image path not quoted: $out"
grep -q 'Start *REG_DWORD *0x2' <<<"$out" || fail "not started with the system: $out"
grep -q 'Description *REG_SZ *Odgovara' <<<"$out" || fail "no description: $out"
out=$(wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\VeltaService' 2>&1) ||
  fail "no event source: $out"
grep -q 'EventMessageFile *REG_EXPAND_SZ *.*veltad.exe' <<<"$out" || fail "EventMessageFile: $out"
grep -q 'TypesSupported *REG_DWORD *0x7' <<<"$out" || fail "TypesSupported: $out"
echo "   service and event source registered"
check_log

step "/install again fails with 1073 (service exists) and logs nothing"
velta_run_wine "$veltad" /install /silent
[ $rc -eq $((1073 % 256)) ] || fail "second /install exited with $rc"
[ -z "$out" ] || fail "/silent printed: $out"
check_log

step "start without veltactl.ini: StartType 0 stops the service by itself"
scm_expect 0 start
wait_state STOPPED 20
grep -q 'win32=0 ' <<<"$last_state" || fail "stopped with an error: $last_state"
expected+=("Pokrenut." "Aktiviran." "Zaustavljen.")
check_log
scm_expect 1062 stop

step "restart of Windows with StartType=1: the system starts the service"
write_ini "[Server]" "StartType=1"
velta_wine_reboot
wait_state RUNNING 20
expected+=("Pokrenut." "Aktiviran.")
probe_ok $port "after a restart"
check_log
scm_expect 0 stop
wait_state STOPPED 20
expected+=("Zaustavljen.")

step "restart of Windows with StartType=0: the service starts and stops itself"
write_ini "[Server]" "StartType=0"
velta_wine_reboot
expected+=("Pokrenut." "Aktiviran." "Zaustavljen.")
wait_log_lines ${#expected[@]} 20
wait_state STOPPED 20
grep -q 'win32=0 ' <<<"$last_state" || fail "stopped with an error: $last_state"
check_log
probe_refused $port

step "start with StartType=1: echo on port $port"
write_ini "[Server]" "StartType=1"
scm_expect 0 start
wait_state RUNNING 20
expected+=("Pokrenut." "Aktiviran.")
probe_ok $port "Velta e2e"
scm_expect 1056 start

step "veltaping.exe checks the service from Windows: exit 0, every reply counted"
velta_run_wine "$veltaping_exe" --json -n 3 -i 0 -c 2 "127.0.0.1:$port"
[ $rc -eq 0 ] || fail "veltaping.exe exited with $rc: $out"
grep -q '"sent":6,' <<<"$out" && grep -q '"received":6,' <<<"$out" && grep -q '"wrong":0' <<<"$out" ||
  fail "veltaping.exe counted otherwise: $out"
echo "   $out"
velta_run_wine "$veltaping_exe" -n 1 "127.0.0.1:$port"
[ $rc -eq 0 ] && grep -q "^Odgovor od 127.0.0.1:$port: bajtova=32" <<<"$out" || fail "veltaping.exe's line: $out"
# Redirected, the text is in the console's code page, one byte a letter
# (what cmd decodes it with), not UTF-8.
grep -q "pogre.nih = 0" <<<"$out" || fail "veltaping.exe's redirected summary is not in the console's code page: $out"
velta_run_wine "$veltaping_exe" -n 1 -w 1000 "127.0.0.1:$((port + 7))"
[ $rc -eq 1 ] || fail "veltaping.exe against a closed port exited with $rc: $out"

step "pause: connections refused"
scm_expect 0 pause
wait_state PAUSED 20
expected+=("Pauziran.")
probe_refused $port

step "pause while paused: stays paused"
scm_expect 0 pause
wait_state PAUSED 1
probe_refused $port

step "continue: connections accepted again"
scm_expect 0 continue
wait_state RUNNING 20
expected+=("Nastavljen.")
probe_ok $port "after continue"
check_log

step "a burst of connects at once is answered whole"
velta_expect_burst_served $port "$native_bin/bench-load" || fail "the burst"

step "a reader holds the log open without sharing its deletion: the lines still arrive"
mark=$(services_size)
wine "$reader_exe" "$(winepath -w "$log")" 4 >"$dir/reader.out" 2>&1 &
reader_pid=$!
for _ in $(seq 100); do grep -q holding "$dir/reader.out" && break; sleep 0.05; done
grep -q holding "$dir/reader.out" || fail "file-holder did not open the log: $(cat "$dir/reader.out")"
scm_expect 0 pause
wait_state PAUSED 20
scm_expect 0 continue
wait_state RUNNING 20
expected+=("Pauziran." "Nastavljen.")
check_log
kill -0 "$reader_pid" 2>/dev/null || fail "the reader let go of the log before the lines were written"
wait "$reader_pid"
grep -q 'GoSendMessageToLog' <<<"$(services_log_since "$mark")" && fail "a line was reported lost"

step "a read-only log stays read-only: the line is refused and reported"
wine attrib +r "$(winepath -w "$log")"
mark=$(services_size)
scm_expect 0 pause
wait_state PAUSED 20
wait_event "$mark" 5 "GoSendMessageToLog() > SaveToFile()" >/dev/null || fail "no event-log entry for the refused line"
grep -q '^A *R ' <<<"$(wine attrib "$(winepath -w "$log")")" || fail "the log lost its read-only attribute"
check_log
wine attrib -r "$(winepath -w "$log")"
scm_expect 0 continue
wait_state RUNNING 20
expected+=("Nastavljen.")
check_log

step "control 200 after Port=$moved_port: the listener moves, open connections close"
exec 3<>/dev/tcp/127.0.0.1/$port || fail "cannot open a connection to $port"
printf '\x00\x00\x00\x04held' >&3
reply=$(timeout 5 head -c 8 <&3 | od -An -tx1 | tr -d ' \n')
[ "$reply" = "0000000468656c64" ] || fail "held connection got no echo: '$reply'"
echo "   a connection on port $port is open and served"
write_ini "[Server]" "StartType=1" "[Connections]" "Port=$moved_port"
scm_expect 0 control 200
probe_ok $moved_port "moved" 10
probe_refused $port
velta_expect_listen_queue $moved_port || fail "the queue after the move"
timeout 10 cat <&3 >"$dir/held.out"
rc=$?
exec 3>&-
[ $rc -ne 124 ] || fail "the open connection stayed open after control 200"
[ ! -s "$dir/held.out" ] || fail "the open connection received bytes: $(od -An -tx1 "$dir/held.out")"
echo "   the open connection was closed"
scm_expect 0 state
expected+=($'Konfiguracije je po zahtevu ponovo u\xE8itana.')
check_log
[ "$(grep -caP 'ponovo u\xE8itana\.\r$' "$log")" = 1 ] || fail "byte 0xE8 of the reload line"
echo "   the reload line carries byte 0xE8: $(grep -aoP 'u\xE8i' "$log" | od -An -tx1 -N3)"

step "stop"
scm_expect 0 stop
wait_state STOPPED 20
grep -q 'win32=0 ' <<<"$last_state" || fail "stopped with an error: $last_state"
expected+=("Zaustavljen.")
check_log
probe_refused $moved_port

step "start with port $moved_port taken: STOPPED with an event-log entry"
"$holder" $moved_port >"$dir/holder.out" 2>&1 &
holder_pid=$!
probe_ok $moved_port "holder" 5
mark=$(services_size)
scm_expect 0 start
wait_state STOPPED 20
grep -q 'win32=1066 specific=1$' <<<"$last_state" ||
  fail "a failed start should end with a service-specific exit code 1: $last_state"
entry=$(wait_event "$mark" 5 "OnStart" "Could not bind socket") || fail "no event-log entry for the failed start"
echo "   $entry"
[ "$(wc -l <<<"$entry")" = 1 ] || fail "more than one entry for the failed start"
kill -INT "$holder_pid"
wait "$holder_pid"
holder_pid=
check_log

step "unreadable Lines and Port: two event-log entries, in order"
write_ini "[Server]" "StartType=1" "[Log]" "Lines=abc" "[Connections]" "Port=x"
mark=$(services_size)
scm_expect 0 start
wait_state RUNNING 20
expected+=("Pokrenut." "Aktiviran.")
wait_event "$mark" 5 "StrToInt( CONFIG_PORT )" >/dev/null || fail "no event-log entry for Port"
entries=$(services_log_since "$mark" | grep 'err:eventlog')
echo "$entries" | sed 's/^/   /'
[ "$(wc -l <<<"$entries")" = 2 ] || fail "expected exactly two event-log entries"
sed -n 1p <<<"$entries" | grep -qF "ReloadIniToFastConfig() > int lines = StrToInt( CONFIG_LINES )" ||
  fail "first entry is not the one for Lines"
sed -n 2p <<<"$entries" | grep -qF "ReloadIniToFastConfig() > int port = StrToInt( CONFIG_PORT )" ||
  fail "second entry is not the one for Port"
probe_ok $port "default port"
scm_expect 0 stop
wait_state STOPPED 20
expected+=("Zaustavljen.")
check_log

step "/uninstall"
write_ini "[Server]" "StartType=1"
velta_run_wine "$veltad" /uninstall
[ $rc -eq 0 ] || fail "/uninstall exited with $rc: $out"
installed=0
echo "   $out"
[ "$out" = "VeltaService: uninstalled." ] || fail "unexpected /uninstall message: $out"
expected+=("Deinstaliran.")
scm_expect 1060 state
if wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\VeltaService' >/dev/null 2>&1; then
  fail "the event source is still registered"
fi
velta_run_wine "$veltad" /uninstall /silent
[ $rc -eq $((1060 % 256)) ] || fail "second /uninstall exited with $rc: $out"

step "activity log, byte for byte"
check_log
cat -A "$log" | sed 's/^/   /'

echo "== service end-to-end: passed in $((SECONDS - started)) s"
