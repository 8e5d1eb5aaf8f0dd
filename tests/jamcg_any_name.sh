#!/bin/sh
# Runs the Windows jamcg.exe as a user would, from a command line that holds
# Japanese, accented and spaced names, and checks what it writes and prints.
# Usage: jamcg_any_name.sh RUNNER... -- JAMCG.EXE
# RUNNER is the command that starts a Windows program (the build's Wine
# runner); its exit code 77, "cannot run here", is passed on as a skip.
set -u
runner=""
while [ $# -gt 0 ] && [ "$1" != "--" ]; do runner="$runner '$1'"; shift; done
shift
jamcg=$1
# Wine turns the command line into UTF-16 from the locale's encoding.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

run() {
  eval "$runner" '"$jamcg"' '"$@"' > out.txt 2> err.txt
  code=$?
  [ $code -eq 77 ] && { cat out.txt; exit 77; }
  [ $code -eq 0 ] || { echo "FAIL: jamcg $* exited $code"; cat out.txt err.txt; exit 1; }
}
expect() {
  grep -qF "$1" out.txt || { echo "FAIL: expected '$1' in:"; cat out.txt; exit 1; }
}

# A 16x9 PPM picture.
{ printf 'P6\n16 9\n255\n'; i=0; while [ $i -lt 144 ]; do printf '\%03o\%03o\%03o' $((i % 200)) $((i * 7 % 256)) 40; i=$((i + 1)); done; } > "café crème.ppm"

run encode "café crème.ppm" -o "日本の絵.gcmp"
run info "日本の絵.gcmp"
expect "日本の絵.gcmp: GCmpSH0 picture"
run convert -q "日本の絵.gcmp" -o "戻り 😀.bmp"
[ -s "戻り 😀.bmp" ] || { echo "FAIL: no 戻り 😀.bmp"; ls; exit 1; }
run pack "日本の絵.gcmp" "café crème.ppm" -o "書庫 アーカイブ.nsc"
run list --json "書庫 アーカイブ.nsc"
expect '{"name":"2",'
run extract -q "書庫 アーカイブ.nsc" -o "出力 é"
cmp "出力 é/1" "日本の絵.gcmp" && cmp "出力 é/2" "café crème.ppm" || { echo "FAIL: extracted bytes differ"; exit 1; }

# Plug-ins come from jamcg.exe's own folder only: a copy of jamcg.exe with
# none beside it tells which file it misses and where it looked, even with
# plug-ins (planted) in the current folder; --version needs none.
mkdir alone
cp "$jamcg" alone/jamcg.exe
for f in "$(dirname "$jamcg")"/*.sp?; do cp "$f" .; done
jamcg=alone/jamcg.exe
run --version
expect "jamcg "
eval "$runner" '"$jamcg"' list '"書庫 アーカイブ.nsc"' > out.txt 2> err.txt
code=$?
[ $code -eq 1 ] && grep -q "cannot find vizuz.sp. in .*alone (the plug-ins lie beside jamcg.exe" err.txt ||
  { echo "FAIL: jamcg.exe without plug-ins exited $code:"; cat err.txt; exit 1; }
echo "jamcg.exe handled every name"
