#!/usr/bin/env bash
# veltad in the foreground on Linux, driven by signals as the service manager
# drives the Windows service: start, a burst of connects, pause, continue,
# reload, stop.
# Usage: veltad_posix_e2e.sh BIN_DIR
set -euo pipefail
# The log is Windows-1250 bytes: compare bytes, not characters.
export LC_ALL=C
bin=$(cd "$1" && pwd)
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/listen_burst.sh"

fail() {
  echo "FAIL: $*" >&2
  echo "--- veltactl.log" >&2
  cat -A "$work/veltactl.log" >&2 2>/dev/null || true
  exit 1
}
step() { echo "== $*"; }

# Ports of the range the settings allow, unlikely to be in use.
port1=$((20000 + RANDOM % 6000))
port2=$((port1 + 6000))

answers() { "$bin/veltaping" -n 1 -w 1000 "127.0.0.1:$1" >/dev/null 2>&1; }
wait_until() {  # wait_until SECONDS COMMAND...
  local limit=$(($1 * 10)); shift
  for _ in $(seq "$limit"); do "$@" && return 0; sleep 0.1; done
  return 1
}
log_has_lines() { [ -f "$work/veltactl.log" ] && [ "$(grep -c $'\r$' "$work/veltactl.log")" -ge "$1" ]; }

cp "$bin/veltad" "$work/veltad"
printf '[Connections]\r\nPort=%s\r\n[Server]\r\nStartType=1\r\n' "$port1" >"$work/veltactl.ini"

step "start"
"$work/veltad" 2>"$work/stderr.txt" &
pid=$!
wait_until 10 log_has_lines 2 || fail "no start lines"
wait_until 5 answers "$port1" || fail "no echo on $port1"

step "a burst of connects at once is answered whole"
velta_expect_burst_served "$port1" "$bin/bench-load" || fail "the burst"

step "pause (SIGUSR1) refuses connections"
kill -USR1 "$pid"
wait_until 5 log_has_lines 3 || fail "no pause line"
answers "$port1" && fail "still answering while paused"

step "continue (SIGUSR2) accepts again"
kill -USR2 "$pid"
wait_until 5 log_has_lines 4 || fail "no continue line"
wait_until 5 answers "$port1" || fail "no echo after continue"
velta_expect_listen_queue "$port1" || fail "the queue after continue"

step "reload (SIGHUP) moves the listener"
printf '[Connections]\r\nPort=%s\r\n[Server]\r\nStartType=1\r\n' "$port2" >"$work/veltactl.ini"
kill -HUP "$pid"
wait_until 5 log_has_lines 5 || fail "no reload line"
wait_until 5 answers "$port2" || fail "no echo on $port2"
answers "$port1" && fail "still answering on $port1"
velta_expect_listen_queue "$port2" || fail "the queue after the reload"

step "stop (SIGTERM) ends the process with 0"
kill -TERM "$pid"
rc=0
wait "$pid" || rc=$?
pid=
[ "$rc" -eq 0 ] || fail "exit code $rc"

step "the activity log, byte for byte"
expected=(Pokrenut. Aktiviran. Pauziran. Nastavljen. "Konfiguracije je po zahtevu ponovo u"$'\xE8'"itana." Zaustavljen.)
mapfile -t lines <"$work/veltactl.log"
[ "${#lines[@]}" -eq "${#expected[@]}" ] || fail "${#lines[@]} lines"
for i in "${!expected[@]}"; do
  line=${lines[$i]}
  [[ "$line" =~ ^Velta\ server\ :\ [0-9]{2}-[0-9]{2}-[0-9]{4},\ [0-9]{2}:[0-9]{2}:[0-9]{2}\ :\ (.*)$'\r'$ ]] ||
    fail "line $i has the wrong form: $line"
  [ "${BASH_REMATCH[1]}" == "${expected[$i]}" ] || fail "line $i: ${BASH_REMATCH[1]}"
done
[ ! -s "$work/stderr.txt" ] || fail "event log entries: $(cat "$work/stderr.txt")"
echo "veltad lifecycle: all steps passed"
