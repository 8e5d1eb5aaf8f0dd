#!/bin/sh
# Stops jamcg with SIGINT, SIGTERM and SIGHUP while it packs a large file,
# encodes from a pipe that never ends, and reads a pipe that no one writes,
# and checks that it stops at once, exits 128 + the signal's number, and
# leaves nothing behind.
# Usage: jamcg_signals.sh [RUNNER] JAMCG
# RUNNER starts the program where it cannot start by itself (the 32-bit
# build's cmake/i386_run.sh).
set -u
if [ $# -ge 2 ]; then runner=$1 jamcg=$2; else runner='' jamcg=$1; fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
truncate -s 1900M big       # sparse: reading it is quick, writing it out takes seconds
printf 'hello' > small
mkfifo silent endless
status=0

# run SIGNAL EXPECTED-CODE DESCRIPTION -- ARGS...
run() {
  signal=$1 expected=$2 what=$3
  shift 4
  ${runner:+"$runner"} "$jamcg" "$@" 2> err.txt < "${input:-/dev/null}" &
  pid=$!
  sleep 0.3
  kill -"$signal" $pid
  start=$(date +%s%N)
  wait $pid
  code=$?
  took=$(( ($(date +%s%N) - start) / 1000000 ))
  left=$(ls -A | grep -v -x -e big -e small -e silent -e endless -e err.txt)
  if [ $code -ne "$expected" ] || [ -n "$left" ] || [ $took -gt 2000 ]; then
    echo "FAIL: $what: exit $code (expected $expected) after $took ms; left: $left"
    cat err.txt
    status=1
  else
    echo "ok: $what: exit $code after $took ms, nothing left"
  fi
  rm -f $left
}

run INT 130 "Ctrl-C while packing 1.9 GiB" -- pack -q big small -o out.nsc
run TERM 143 "SIGTERM while packing 1.9 GiB" -- pack -q big small -o out.nsc
run HUP 129 "SIGHUP while packing 1.9 GiB" -- pack -q big small -o out.nsc
run INT 130 "Ctrl-C while waiting on a pipe no one writes" -- encode silent -o out.gcmp
yes P6 > endless &
feeder=$!
input=endless run TERM 143 "SIGTERM while reading an endless pipe" -- encode /dev/stdin -o out.gcmp
kill $feeder 2> /dev/null
exit $status
