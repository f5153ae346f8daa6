# Sourced by the end-to-end scripts: a server's listen queue must have room
# for a burst of clients. Linux (and Wine, whose listen is Linux's) drops a
# SYN that finds the queue full and the client retries a second later, so a
# burst would still be answered in the end: the queue's length, which ss
# shows as the listening socket's Send-Q, is what tells.
#
# Each function prints what it saw and returns non-zero with a reason on
# standard error.

velta_burst_size=300

# velta_expect_listen_queue PORT
velta_expect_listen_queue() {
  local queue
  queue=$(ss -Hltn "sport = :$1" | awk '{ print $3; exit }')
  if [ -z "$queue" ] || [ "$queue" -lt "$velta_burst_size" ]; then
    echo "the listen queue on port $1 is '${queue}', no room for a burst of $velta_burst_size" >&2
    return 1
  fi
  echo "   listen queue on port $1: $queue"
}

# velta_expect_burst_served PORT BENCH_LOAD: every connection of the burst
# is started before any is answered, then each makes one verified exchange.
velta_expect_burst_served() {
  local result
  velta_expect_listen_queue "$1" || return 1
  if ! result=$("$2" --port "$1" --profile c10k --connections "$velta_burst_size" 2>&1); then
    echo "a burst of $velta_burst_size connects: $result" >&2
    return 1
  fi
  echo "   a burst of $velta_burst_size connects, all answered: $result"
}
