#!/usr/bin/env bash
# Installs the Debian packages Gloamer needs: `run` what building and running gloamer and the plug-in takes,
# `test` (the default) that and everything the test suite, the Windows build and the page take. Idempotent; root or sudo.
set -euo pipefail

usage() { echo "usage: scripts/install-deps.sh [run|test]" >&2; exit 2; }
purpose=${1:-test}
[ $# -le 1 ] || usage

packages=(
  # toolchains and build
  cmake ninja-build g++ pkg-config
  # the Linux platform layer and GL (Mesa's software renderer for headless runs)
  libsdl2-dev libx11-dev libopengl-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri
  # the GL 1.1 layer over OpenGL ES 3, which the build configures alongside
  libgles-dev
  # the host: audio, spectrum, command line, video
  libfftw3-dev libcli11-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
)
test_packages=(
  # the Windows DLL
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  # the tests' look at the videos made, and bench/render_bench.sh's arithmetic
  ffmpeg bc
  # tests: unit tests, fuzzing
  libgtest-dev libgmock-dev clang libclang-rt-14-dev
  # the Win32 tests: the 32-bit Windows build under Wine, on an X server of its own with Mesa's GL; wine64 too, so
  # that Wine's server and services run as 64-bit programs, natively where 32-bit ones run through qemu-i386
  wine wine32:i386 wine64 xvfb libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386
  # packages: the .deb's dependencies (dpkg-shlibdeps), the check of the .zip
  dpkg-dev unzip
  # the page: Debian's emscripten, and chromium to test it headless (Node and npm for the test driver)
  emscripten chromium
  # gloamer batch's job arrays on a private single-node Slurm
  slurm-wlm munge
)
case "$purpose" in
  run) ;;
  test) packages+=("${test_packages[@]}") ;;
  *) usage ;;
esac

missing=()
for package in "${packages[@]}"; do
  # A name without an architecture lists every architecture it is installed for, one line each.
  dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -qx "install ok installed" || missing+=("$package")
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  [ "$purpose" = run ] || dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
  # A mirror part-way through a sync can serve an index that fails its check: try again, then go on with what
  # was fetched, since the install below says plainly what it cannot find.
  for attempt in 1 2 3; do
    $sudo apt-get update -qq && break
    if [ "$attempt" -lt 3 ]; then echo "install-deps.sh: apt-get update failed; trying again in 30 s" >&2; sleep 30; fi
  done
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ "$purpose" = test ] || exit 0

# Some kernels (in some virtual machines) run no 32-bit x86 programs; there Wine's 32-bit side runs through
# qemu-i386, registered for 32-bit x86 programs with binfmt_misc (until the next boot).
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  if [ ! -x /usr/bin/qemu-i386-static ]; then
    echo "Installing: qemu-user-static (this kernel runs no 32-bit x86 programs)"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends qemu-user-static
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$binfmt"
  if [ ! -e "$binfmt/qemu-i386" ]; then
    echo "Registering qemu-i386 for 32-bit x86 programs"
    echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      $sudo tee "$binfmt/register" >/dev/null
  fi
  /lib/ld-linux.so.2 --version >/dev/null || { echo "install-deps.sh: 32-bit x86 programs still do not run" >&2; exit 1; }
fi
