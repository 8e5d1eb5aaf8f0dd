#!/usr/bin/env bash
# Installs what the builds need on Debian or Ubuntu, when it is missing.
# As root it installs; otherwise it prints the exact command and stops.
# Sourced by the other scripts: `need_packages` takes the package names.
set -euo pipefail

need_packages() {
  local missing=() pkg
  local want_i386=0
  for pkg in "$@"; do
    [[ $pkg == *:i386 ]] && want_i386=1
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  local have_i386=1
  if [[ $want_i386 == 1 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    have_i386=0
  fi
  [[ ${#missing[@]} == 0 && $have_i386 == 1 ]] && return 0

  local steps=()
  [[ $have_i386 == 0 ]] && steps+=("dpkg --add-architecture i386")
  steps+=("apt-get update" "DEBIAN_FRONTEND=noninteractive apt-get install -y ${missing[*]}")
  if [[ $(id -u) != 0 ]]; then
    echo "Missing: ${missing[*]}" >&2
    local line=""
    for s in "${steps[@]}"; do line+="${line:+ && }sudo ${s}"; done
    echo "Install them with:" >&2
    echo "  $line" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}" >&2
  for s in "${steps[@]}"; do
    eval "$s" >/dev/null
  done
}

# What building the native, windows and windows64 builds and running them needs
# (tests/package_check.py checks that every header and library they use comes
# from these packages or what they pull in).
BUILD_PACKAGES=(build-essential cmake ninja-build pkg-config python3 googletest libgtest-dev libspng-dev
  libcli11-dev libstb-dev libqoi-dev zlib1g-dev libz-mingw-w64-dev
  libgdk-pixbuf-2.0-dev libgdk-pixbuf2.0-bin shared-mime-info libglib2.0-bin
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 wine wine32:i386 wine64 emscripten)
# What the test command needs beyond that: clang and its fuzzer and sanitizer
# runtimes; the 32-bit Linux build (native32) and qemu-i386 to run it where
# the kernel runs no 32-bit programs; Chromium, its driver and Selenium for
# the viewer page's tests.
TEST_PACKAGES=(clang libclang-rt-dev g++-multilib zlib1g-dev:i386 qemu-user
  chromium chromium-driver python3-selenium)
