#!/bin/sh
# Runs a 32-bit Linux (i386) program: directly where the kernel runs 32-bit
# programs, else under qemu-i386 user-mode emulation. binfmt_misc may be
# absent, so every i386 program a test or script starts goes through here.
# Usage: i386_run.sh PROGRAM [ARGS...]
# I386_RUNNER=qemu runs under qemu-i386 even where the kernel could run the
# program; I386_CPU names the processor qemu emulates (for example pentium3,
# which has no SSE2).
if [ "${I386_RUNNER:-}" != qemu ] && [ -z "${I386_CPU:-}" ] &&
  /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  exec "$@"
fi
exec qemu-i386 ${I386_CPU:+-cpu "$I386_CPU"} "$@"
