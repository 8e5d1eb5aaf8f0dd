#!/bin/sh
# jamcg with "-" for standard input and output: an archive or picture read
# from a pipe goes to the plug-ins as a memory block; pictures, archives and
# conversions written to standard output; and a full standard output is an
# error, not a success.
# Usage: jamcg_streams.sh [RUNNER] JAMCG
# RUNNER starts the program where it cannot start by itself (the 32-bit
# build's cmake/i386_run.sh).
set -u
if [ $# -ge 2 ]; then runner=$1 jamcg=$2; else runner='' jamcg=$1; fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
status=0
fail() { echo "FAIL: $*"; status=1; }

# A 40x30 PPM picture and a text file.
{ printf 'P6\n40 30\n255\n'; i=0; while [ $i -lt 1200 ]; do printf '\%03o\%03o\%03o' $((i % 251)) $((i * 7 % 256)) $((i / 5 % 256)); i=$((i + 1)); done; } > pic.ppm
printf 'some notes\n' > notes.txt

${runner:+"$runner"} "$jamcg" encode - -o pic.gcmp < pic.ppm || fail "encode from standard input"
${runner:+"$runner"} "$jamcg" encode pic.ppm -o - > piped.gcmp && cmp -s pic.gcmp piped.gcmp || fail "encode to standard output"
${runner:+"$runner"} "$jamcg" pack pic.gcmp notes.txt -o - > set.nsc || fail "pack to standard output"
${runner:+"$runner"} "$jamcg" pack pic.gcmp notes.txt -o file.nsc && cmp -s set.nsc file.nsc || fail "pack to a pipe differs"
${runner:+"$runner"} "$jamcg" info - < pic.gcmp | grep -q "standard input: GCmpSH0 picture" || fail "info of a piped picture"
cat set.nsc | ${runner:+"$runner"} "$jamcg" list --json - > list.txt && grep -q '"name":"2"' list.txt || fail "list a piped archive"
cat set.nsc | ${runner:+"$runner"} "$jamcg" extract -q - -o out && cmp -s out/1 pic.gcmp && cmp -s out/2 notes.txt ||
  fail "extract a piped archive"
${runner:+"$runner"} "$jamcg" extract set.nsc 1 -o - > one.gcmp && cmp -s one.gcmp pic.gcmp ||
  fail "extract a member to standard output"
[ ! -e ./- ] || fail "extract made a folder named -"
${runner:+"$runner"} "$jamcg" convert -q pic.gcmp -o a.bmp
${runner:+"$runner"} "$jamcg" convert -q --format bmp - -o - < pic.gcmp > b.bmp && cmp -s a.bmp b.bmp || fail "convert a pipe to a pipe"
${runner:+"$runner"} "$jamcg" check - < set.nsc | grep -q "standard input: ok" || fail "check a piped archive"
if [ -w /dev/full ]; then
  ${runner:+"$runner"} "$jamcg" list file.nsc > /dev/full 2> err.txt
  code=$?
  [ $code -eq 3 ] && grep -q "cannot write the standard output" err.txt || fail "list > /dev/full exited $code"
fi
# A reader that goes away (a closed pipe): jamcg stops, says nothing, exits 3.
{ printf 'P6\n200 333\n255\n'; head -c 199800 /dev/urandom; } > noise.ppm
${runner:+"$runner"} "$jamcg" encode noise.ppm -o noise.gcmp
mkfifo gone
head -c 10 gone > /dev/null &
${runner:+"$runner"} "$jamcg" convert --format bmp noise.gcmp -o - > gone 2> err.txt
code=$?
wait
[ $code -eq 3 ] && [ ! -s err.txt ] || fail "convert to a closed pipe exited $code: $(cat err.txt)"
[ $status -eq 0 ] && echo "standard input and output work"
exit $status
