#!/usr/bin/env bash
# run_wine_tests.sh -- runs the Win32 tests under Wine where 32-bit Wine can run here, and says why not elsewhere.
# usage: run_wine_tests.sh WINE_TESTS [SETUP_REASON_FILE]
# SETUP_REASON_FILE is where scripts/install-deps.sh keeps why it could not install the 32-bit side.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
what="the Win32 DLL and gloamer.exe under Wine"
skip() { exec "$here/../support/skipped.sh" "$what" "$1"; }

# Why the 32-bit side is missing: the set-up's own words where it kept them.
missing_32bit() {
  if [ -n "${2:-}" ] && [ -s "$2" ]; then skip "$(head -n 1 "$2")"; fi
  skip "$1 (scripts/install-deps.sh test installs it)"
}
command -v wine >/dev/null || skip "Wine is not installed (scripts/install-deps.sh test installs it)"
command -v Xvfb >/dev/null || skip "Xvfb is not installed (scripts/install-deps.sh test installs it)"
if command -v dpkg-query >/dev/null &&
   ! dpkg-query -W -f='${Status}\n' wine32:i386 2>/dev/null | grep -qx "install ok installed"; then
  missing_32bit "wine32 is not installed" "${2:-}"
fi
/lib/ld-linux.so.2 --version >/dev/null 2>&1 ||
  missing_32bit "this kernel runs no 32-bit x86 programs and no qemu-i386 is registered for them" "${2:-}"
exec "$1"
