#!/usr/bin/env bash
# Installs the Debian packages Gloamer needs: `run` what building and running gloamer and the plug-in takes,
# `test` (the default) that and everything the test suite, the Windows build and the page take. Idempotent; root or sudo.
#
# The 32-bit side (wine32 and the i386 GL libraries, for the Windows DLL under Wine) comes last, as a step of its
# own: when it cannot be had (a mirror's i386 index that fails its check, say) one line says why, the reason is
# kept in build/skipped/win32 for scripts/test.sh to report, and the set-up goes on without it.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: scripts/install-deps.sh [run|test]" >&2; exit 2; }
purpose=${1:-test}
[ $# -le 1 ] || usage

packages=(
  # toolchains and build
  cmake ninja-build g++ pkg-config ccache
  # the Linux platform layer and GL (Mesa's software renderer for headless runs)
  libsdl2-dev libx11-dev libopengl-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri
  # the GL 1.1 layer over OpenGL ES 3, which the build configures alongside
  libgles-dev
  # the host: audio, spectrum, command line, JSON, video
  libfftw3-dev libcli11-dev nlohmann-json3-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
)
test_packages=(
  # the Windows DLL
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  # the tests' look at the videos made, and bench/render_bench.sh's arithmetic
  ffmpeg bc
  # tests: unit tests, fuzzing
  libgtest-dev libgmock-dev clang libclang-rt-14-dev
  # the Win32 tests' 64-bit half: Wine's server and services run as 64-bit programs (natively where 32-bit ones
  # run through qemu-i386), on an X server of their own
  wine wine64 xvfb
  # the window test on a real X server (xprop reads the title and state)
  x11-utils
  # packages: the .deb's dependencies (dpkg-shlibdeps), the check of the .zip
  dpkg-dev unzip
  # the page: Debian's emscripten, and chromium to test it headless (Node and npm for the test driver)
  emscripten chromium
  # gloamer batch's job arrays on a private single-node Slurm; a YAML 1.1 reader for its Kubernetes manifests
  slurm-wlm munge python3-yaml
)
# The 32-bit half of the Win32 tests: gloamer.exe and the DLL run as 32-bit programs, with Mesa's GL.
i386_packages=(wine32:i386 libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386)
case "$purpose" in
  run) ;;
  test) packages+=("${test_packages[@]}") ;;
  *) usage ;;
esac

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

missing_of() {
  local package
  for package in "$@"; do
    # A name without an architecture lists every architecture it is installed for, one line each.
    dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -qx "install ok installed" || echo "$package"
  done
}

# apt-get update, tried $2 times $3 seconds apart: a mirror part-way through a sync can serve an index that fails
# its check. Its errors are left in $1 for the caller to quote.
update_indexes() {
  local attempt
  for ((attempt = 1; attempt <= $2; attempt++)); do
    $sudo apt-get update -qq 2>"$1" && return 0
    if [ "$attempt" -lt "$2" ]; then echo "install-deps.sh: apt-get update failed; trying again in $3 s" >&2; sleep "$3"; fi
  done
  return 1
}

# The gist of apt's errors: its first "E:" line, else its last line.
apt_gist() {
  local line
  line=$(grep -m1 '^E: ' "$1" || tail -n 1 "$1")
  line=${line#E: }
  line=${line% \[IP: *\]}
  printf '%s' "${line:0:300}"
}

apt_log=$(mktemp)
trap 'rm -f "$apt_log"' EXIT

mapfile -t missing < <(missing_of "${packages[@]}")
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  # What was fetched is used even where one index failed: the install below says plainly what it cannot find.
  update_indexes "$apt_log" 3 30 || { echo "install-deps.sh: apt-get update failed: $(apt_gist "$apt_log"); going on" >&2; }
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ "$purpose" = test ] || exit 0

skipped=build/skipped/win32
mkdir -p build/skipped
rm -f "$skipped"

# Says why the 32-bit side is missing, keeps the reason for the suite's report, and leaves the machine as it was.
skip_32bit() {
  echo "install-deps.sh: skipped the 32-bit side (${i386_packages[*]}): $1; the Win32 tests will report SKIPPED" >&2
  printf '%s\n' "$1" >"$skipped"
  if [ "${added_i386:-0}" = 1 ] && [ -z "$(dpkg-query -W -f='${Package}:${Architecture}\n' 2>/dev/null | grep ':i386$')" ]; then
    $sudo dpkg --remove-architecture i386 || true
    $sudo apt-get update -qq >/dev/null 2>&1 || true
  fi
}

install_32bit() {
  mapfile -t missing < <(missing_of "${i386_packages[@]}")
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "Installing the 32-bit side: ${missing[*]}"
  added_i386=0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    added_i386=1
  fi
  local index_error=""
  if ! update_indexes "$apt_log" 2 10; then
    index_error=$(apt_gist "$apt_log")
    echo "install-deps.sh: apt-get update failed with i386 added: $index_error; trying the install anyway" >&2
  fi
  if ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" \
       >"$apt_log" 2>&1; then
    # The index that failed is the likelier cause than the resolver's own words: name it first.
    skip_32bit "wine32 could not be installed: ${index_error:+$index_error; }$(apt_gist "$apt_log")"
    return 1
  fi
}

# Some kernels (in some virtual machines) run no 32-bit x86 programs; there Wine's 32-bit side runs through
# qemu-i386, registered for 32-bit x86 programs with binfmt_misc (until the next boot).
run_32bit_programs() {
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 && return 0
  if [ ! -x /usr/bin/qemu-i386-static ]; then
    echo "Installing: qemu-user-static (this kernel runs no 32-bit x86 programs)"
    if ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends qemu-user-static \
         >"$apt_log" 2>&1; then
      skip_32bit "qemu-user-static could not be installed: $(apt_gist "$apt_log")"
      return 1
    fi
  fi
  local binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$binfmt" || true
  if [ ! -e "$binfmt/qemu-i386" ] && [ -e "$binfmt/register" ]; then
    echo "Registering qemu-i386 for 32-bit x86 programs"
    echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      $sudo tee "$binfmt/register" >/dev/null || true
  fi
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 && return 0
  skip_32bit "this kernel runs no 32-bit x86 programs, and qemu-i386 could not be registered for them"
  return 1
}

install_32bit && run_32bit_programs || true
