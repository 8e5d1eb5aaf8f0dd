#!/bin/sh
# Registers the imaging decoder DLL for the machine in the build's Wine
# prefix, runs the test program that reads pictures through the system's
# imaging factory, and unregisters it: then no key may name the DLL. Then the
# registration for one user (regsvr32 /n /i:user), which must write under
# HKCU\Software\Classes only, leave a .gcmp key that was there before as it
# was, and remove what it wrote. (Wine does not merge the user's classes into
# the machine's, so the imaging factory cannot find a decoder registered per
# user there; the keys are checked instead.)
# Usage: wic_decoder.sh RUNNER... -- DECODER.DLL TESTS.EXE
# RUNNER starts a Windows program (the build's Wine runner); its exit code
# 77, "cannot run here", is passed on as a skip.
set -u
runner=""
while [ $# -gt 0 ] && [ "$1" != "--" ]; do runner="$runner '$1'"; shift; done
shift
dll=$1 tests=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
windows() { printf 'Z:%s' "$1" | tr / '\\'; }
run() { eval "$runner" '"$@"'; }
status=0
fail() { echo "FAIL: $*"; status=1; }
# The classes of HKLM or HKCU as text, for grep.
classes() {
  rm -f "$work/classes.reg"
  run reg export "$1\\Software\\Classes" "$(windows "$work/classes.reg")" > /dev/null 2>&1
  iconv -f UTF-16LE -t UTF-8 "$work/classes.reg" 2> /dev/null | tr -d '\r'
}
name=$(basename "$dll")

run regsvr32 /s "$(windows "$dll")"
code=$?
[ $code -eq 77 ] && { echo "SKIPPED: this machine cannot run $dll"; exit 77; }
[ $code -eq 0 ] || fail "regsvr32 exited $code"
run "$tests" || fail "the imaging decoder's tests failed"
run regsvr32 /s /u "$(windows "$dll")" || fail "regsvr32 /u failed"
classes HKLM | grep -i -e "$name" -e gcmp && fail "keys of the decoder are left in HKLM after regsvr32 /u"

run reg add 'HKCU\Software\Classes\.gcmp' /ve /d theirs.type /f > /dev/null 2>&1
run regsvr32 /s /n /i:user "$(windows "$dll")" || fail "regsvr32 /n /i:user failed"
classes HKCU > "$work/user.txt"
grep -q -i -F "$name" "$work/user.txt" || fail "per-user registration wrote nothing under HKCU"
grep -q 'ThreadingModel"="Both"' "$work/user.txt" || fail "no ThreadingModel Both under HKCU"
classes HKLM | grep -i -F "$name" && fail "per-user registration wrote under HKLM"
run regsvr32 /s /u /n /i:user "$(windows "$dll")" || fail "regsvr32 /u /n /i:user failed"
classes HKCU > "$work/user.txt"
grep -i -e "$name" -e gcmpsh0 -e orbelint "$work/user.txt" && fail "keys of the decoder are left in HKCU"
grep -q -A1 -F '[HKEY_CURRENT_USER\Software\Classes\.gcmp]' "$work/user.txt" &&
  grep -q '@="theirs.type"' "$work/user.txt" || fail "the .gcmp key that was there before was changed"
run reg delete 'HKCU\Software\Classes\.gcmp' /f > /dev/null 2>&1
[ $status -eq 0 ] && echo "ok: registered, tested and unregistered, for the machine and for one user"
exit $status
