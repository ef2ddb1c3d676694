#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Gloamer needs. Idempotent; root or sudo.
set -euo pipefail

packages=(
  # toolchains and build
  cmake ninja-build g++ pkg-config g++-mingw-w64-i686 binutils-mingw-w64-i686
  # the Linux platform layer and GL (Mesa's software renderer for headless runs)
  libsdl2-dev libopengl-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri
  # the host: audio, spectrum, command line, video
  libsndfile1-dev libfftw3-dev libcli11-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev ffmpeg
  # tests: unit tests, fuzzing
  libgtest-dev libgmock-dev clang libclang-rt-14-dev
  # packages: the .deb's dependencies (dpkg-shlibdeps), the check of the .zip
  dpkg-dev unzip
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
