#!/bin/sh
# Stops the Windows jamcg.exe with Ctrl-C under Wine in each phase in which it
# writes: packing a large file, extracting a large member, converting large
# pictures on two workers. Wine turns a SIGINT sent to the program's process
# into a CTRL_C_EVENT, as a console's Ctrl-C is. Each run must exit 130
# within 3 seconds, say "cancelled", and leave nothing behind.
# The signal is sent once the program has begun to write (its temporary file
# is there): before the program's own handler is in place, Wine ends it with
# exit code 0, which no program can change.
# Usage: jamcg_ctrl_c.sh RUNNER... -- JAMCG.EXE
# RUNNER is the command that starts a Windows program (the build's Wine
# runner, which ends in exec, so that its process is the program's); its
# exit code 77, "cannot run here", is passed on as a skip.
set -u
runner=""
while [ $# -gt 0 ] && [ "$1" != "--" ]; do runner="$runner '$1'"; shift; done
shift
jamcg=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

jamcg() { eval "$runner" '"$jamcg"' '"$@"'; }
# Also starts Wine's server, so that the runs below start quickly.
jamcg --version > /dev/null 2>&1
code=$?
[ $code -eq 77 ] && { echo "SKIPPED: this machine cannot run $jamcg"; exit 77; }
[ $code -eq 0 ] || { echo "FAIL: jamcg --version exited $code"; exit 1; }

truncate -s 1900M big     # sparse: quick to read, seconds to write out
printf 'hello' > small
# An archive of two members, the first of 1.9 GiB (sparse): "NSCF", the
# table's size (16), where each member ends.
end1=$((16 + 1900 * 1024 * 1024))
word() { printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) \
  $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }
{ printf 'NSCF'; word 16; word $end1; word $((end1 + 5)); } > big.nsc
truncate -s $((end1 + 5)) big.nsc
# A black picture of 11000 x 11000 pixels, four times in an archive.
{ printf 'P6 11000 11000 255\n'; } > black.ppm
truncate -s $((19 + 11000 * 11000 * 3)) black.ppm
jamcg encode -q black.ppm -o black.gcmp || { echo "FAIL: cannot encode"; exit 1; }
for i in 1 2 3 4; do cp black.gcmp b$i.gcmp; done
jamcg pack -q b1.gcmp b2.gcmp b3.gcmp b4.gcmp -o pictures.nsc || { echo "FAIL: cannot pack"; exit 1; }
rm black.ppm b?.gcmp
: > err.txt
before=$(ls -A)
status=0

# stop DESCRIPTION FOLDER -- ARGS...: starts jamcg, sends SIGINT once a
# temporary file is in FOLDER, and checks what it did.
stop() {
  what=$1 folder=$2
  shift 3
  # The background shell becomes the runner, which becomes Wine: $! is the
  # program's own process.
  (eval "exec $runner" '"$jamcg"' '"$@"') 2> err.txt &
  pid=$!
  waited=0
  until ls -A "$folder" 2> /dev/null | grep -q '^\.jamcg-'; do
    sleep 0.05
    waited=$((waited + 1))
    if [ $waited -gt 600 ] || ! kill -0 $pid 2> /dev/null; then
      echo "FAIL: $what: no temporary file appeared"
      wait $pid
      cat err.txt
      status=1
      return
    fi
  done
  kill -INT $pid
  start=$(date +%s%N)
  wait $pid
  code=$?
  took=$(( ($(date +%s%N) - start) / 1000000 ))
  left=$(ls -A | grep -v -x -F "$before")
  if [ $code -ne 130 ] || [ -n "$left" ] || [ $took -gt 3000 ] || ! grep -q cancelled err.txt; then
    echo "FAIL: $what: exit $code (expected 130) after $took ms; left: $left"
    cat err.txt
    status=1
  else
    echo "ok: $what: exit $code after $took ms, nothing left"
  fi
  rm -rf $left
}

stop "Ctrl-C while packing 1.9 GiB" . -- pack -q big small -o out.nsc
stop "Ctrl-C while extracting a member of 1.9 GiB" out -- extract -q big.nsc 1 -o out
stop "Ctrl-C while converting pictures on two workers" out -- convert -q -j 2 pictures.nsc -o out
exit $status
