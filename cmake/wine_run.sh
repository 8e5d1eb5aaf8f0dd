#!/bin/sh
# Runs a Windows program under Wine, in a Wine prefix of the build's own.
# Usage: wine_run.sh LOADER ARCH PREFIX PROGRAM [ARGS...]
#   LOADER  wine (32-bit programs) or /usr/lib/wine/wine64 (64-bit programs)
#   ARCH    win32 or win64, the prefix's kind
#   PREFIX  the prefix folder, made on first use
# Some kernels are built or booted without support for 32-bit programs, and
# then the 32-bit loader cannot start at all. The program is then reported
# as skipped (exit 77, which CTest counts as "Skipped"), with the reason, so
# that it is never counted as passed.
loader=$1 arch=$2 prefix=$3
shift 3
if ! "$loader" --version >/dev/null 2>&1; then
  echo "SKIPPED: $loader cannot start on this machine (kernel $(uname -r));" \
    "a kernel that runs 32-bit programs is needed to run $(basename "$1") under Wine"
  exit 77
fi
export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# CTest starts several programs at once: the first to find no prefix makes it
# while the others wait (two Wine starts making one prefix at the same moment
# can fail, "chdir to .../server-...: No such file or directory").
if [ ! -d "$prefix" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    [ -d "$prefix" ] || "$loader" wineboot --init > /dev/null 2>&1
  ) 9> "$prefix.lock"
fi
exec "$loader" "$@"
