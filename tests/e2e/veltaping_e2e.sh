#!/usr/bin/env bash
# veltaping against real servers on 127.0.0.1: echo-host (every reply right),
# a server that corrupts every second reply, one that closes each connection
# after its first reply, a port nobody listens on, a name that cannot be
# resolved and a bad option. Checked: the exit status, the counts of the
# JSON summary, and the time a refused port takes.
#
#   veltaping_e2e.sh BIN_DIR    (veltaping, echo-host, faulty-echo)
set -uo pipefail
bin=$(cd "$1" && pwd)
export LC_ALL=C
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; }
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
step() { echo "== $*"; }

port=$((20000 + RANDOM % 10000))
start() {  # start PORT PROGRAM ARGS...: until it answers a connect
  local p=$1
  shift
  "$@" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null && return 0
    sleep 0.1
  done
  fail "$* does not listen on $p"
}

# ping EXPECTED_STATUS ARGS...: runs veltaping, leaves its output in out.
ping() {
  local expected=$1
  shift
  out=$("$bin/veltaping" "$@" 2>&1)
  local rc=$?
  [ $rc -eq "$expected" ] || fail "veltaping $* exited with $rc, expected $expected: $out"
}

# json_has KEY VALUE: the JSON summary in out holds "KEY":VALUE.
json_has() { grep -q "\"$1\":$2[,}]" <<<"$out" || fail "no \"$1\":$2 in $out"; }

step "echo-host: every reply right, exit 0"
start $port "$bin/echo-host" $port
ping 0 --json -n 5 -i 0 -c 2 -l 1k "127.0.0.1:$port"
for kv in "sent 10" "received 10" "lost 0" "wrong 0" "port $port" 'address "127.0.0.1"' \
  "target \"127.0.0.1:$port\""; do
  json_has ${kv%% *} "${kv#* }"
done
grep -q '"p99":[0-9]' <<<"$out" || fail "no round trip times: $out"
[ "$(wc -l <<<"$out")" = 1 ] || fail "--json printed more than the object: $out"
ping 0 -n 2 -i 0 "localhost:$port"
[ "$(grep -c "^Odgovor od 127.0.0.1:$port: bajtova=32 vreme=" <<<"$out")" = 2 ] || fail "no line per exchange: $out"
grep -q "pogrešnih = 0" <<<"$out" || fail "the summary is not UTF-8 Serbian: $out"
ping 0 --json -b 1 -l 64k "127.0.0.1:$port"
grep -q '"mib_per_s":[0-9]' <<<"$out" || fail "no bandwidth: $out"
json_has wrong 0
json_has lost 0
echo "   $out"

step "a server that changes a byte of every second reply: counted wrong, exit 1"
start $((port + 1)) "$bin/faulty-echo" $((port + 1)) corrupt
ping 1 --json -n 4 -i 0 "127.0.0.1:$((port + 1))"
json_has sent 4
json_has received 2
json_has wrong 2
json_has lost 0

step "a server that closes after the first reply: counted lost, exit 1"
start $((port + 2)) "$bin/faulty-echo" $((port + 2)) close-after-1
ping 1 --json -n 3 -i 0 -w 1000 "127.0.0.1:$((port + 2))"
json_has sent 3
json_has received 2
json_has lost 1

step "a port nobody listens on: exit 1 within the timeout"
began=$SECONDS
ping 1 --json -n 1 -w 1000 "127.0.0.1:$((port + 3))"
[ $((SECONDS - began)) -le 3 ] || fail "a refused port took $((SECONDS - began)) s"
json_has address null
json_has lost 1
grep -q '"rtt_ms":{"avg":null' <<<"$out" || fail "round trip times without replies: $out"

step "an IPv6 address in brackets: nobody listens there, exit 1"
ping 1 --json -n 1 -w 1000 "[::1]:$((port + 3))"
json_has target "\"\[::1\]:$((port + 3))\""

step "a name that cannot be resolved, and a bad option: exit 2"
ping 2 "[::1:$port"
ping 2 -n 1 -w 1000 no-such-host.invalid
ping 2 -x "127.0.0.1:$port"
ping 2 -l 2g "127.0.0.1:$port"
ping 0 -h
grep -q "^Upotreba: veltaping" <<<"$out" || fail "no usage: $out"
echo "veltaping: all scenarios passed"
