#!/bin/sh
# Checks a built plug-in the way a host meets it: the export table names
# exactly the names of its .def file, undecorated; in a 32-bit plug-in each
# export removes the argument bytes its decorated name promises (every `ret`
# in its code is `ret $N`; 64-bit code has one convention and no decorated
# names); the DLL imports from KERNEL32.dll and msvcrt.dll only (or, after
# --imports "A.dll B.dll ...", from exactly those, for the DLLs that follow); and a
# 32-bit plug-in, which must run on any x86 a 32-bit host runs on, uses no
# MMX and nothing wider than SSE2 (no mm, ymm or zmm register), and SSE2 (xmm
# registers) only beside a processor check (cpuid).
# Usage: check_exports.sh OBJDUMP [--imports LIST] PLUGIN.spi EXPORTS.def [...]
set -u
objdump=$1
shift
status=0
fail() { echo "FAIL: $*"; status=1; }

allowed="KERNEL32.dll msvcrt.dll"
while [ $# -ge 2 ]; do
  if [ "$1" = --imports ]; then
    allowed=$2
    shift 2
    continue
  fi
  dll=$1 def=$2
  shift 2
  echo "== $dll"
  headers=$("$objdump" -p "$dll") || { fail "cannot read $dll"; continue; }

  imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u | tr '\n' ' ')
  [ "$imports" = "$allowed " ] || fail "$dll imports from: $imports (expected $allowed)"

  expected=$(sed -n '/^EXPORTS/,$ s/^[[:space:]]\{1,\}\([A-Za-z]\{1,\}\).*/\1/p' "$def" | sort | tr '\n' ' ')
  exported=$(printf '%s\n' "$headers" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\([^[:space:]]*\)$/\1/p' | sort | tr '\n' ' ')
  [ "$exported" = "$expected" ] || fail "$dll exports '$exported', expected '$expected'"

  code=$("$objdump" -d --no-show-raw-insn "$dll")
  if printf '%s\n' "$headers" | grep -q 'file format pei-i386'; then
    wide=$(printf '%s\n' "$code" | grep -E '%[yz]mm[0-9]|%mm[0-9]' | head -3)
    [ -z "$wide" ] || fail "$dll uses MMX or instructions wider than SSE2: $wide"
    if printf '%s\n' "$code" | grep -q '%xmm[0-9]'; then
      printf '%s\n' "$code" | grep -q '[[:space:]]cpuid' ||
        fail "$dll uses SSE2 without asking the processor whether it has it"
      echo "  i686 instructions, and SSE2 beside a processor check"
    else
      echo "  only i686 instructions: no MMX, SSE or wider"
    fi
  fi
  for entry in $(sed -n 's/^[[:space:]]*[A-Za-z]*[[:space:]]*=[[:space:]]*\([A-Za-z]*@[0-9]*\).*/\1/p' "$def"); do
    bytes=${entry#*@}
    body=$(printf '%s\n' "$code" | sed -n "/<_\{0,1\}$entry>:\$/,/^\$/p")
    [ -n "$body" ] || { fail "$dll: no code found for $entry"; continue; }
    rets=$(printf '%s\n' "$body" | grep -E '[[:space:]]ret' | sed 's/.*ret[l]*[[:space:]]*//' | sort -u | tr '\n' ' ')
    # A function that takes no arguments returns with a plain `ret`.
    if [ "$bytes" -eq 0 ]; then want=' '; else want=$(printf '$0x%x ' "$bytes"); fi
    [ "$rets" = "$want" ] || fail "$dll: $entry returns with '$rets', expected '$want'"
    echo "  ${entry%@*}: removes $bytes bytes"
  done
done
[ $status -eq 0 ] && echo "exports and imports as a host needs them"
exit $status
