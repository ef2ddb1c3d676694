#!/usr/bin/env bash
# Packs this build as a release does, unpacks the .deb into a scratch root and runs gloamer from there, and checks the .zip.
set -euo pipefail
build=${1:?usage: check_packages.sh BUILD_DIR VERSION WITH_ZIP(0|1) SOURCE_DIR}
version=${2:?version}
with_zip=${3:?with zip}
source=${4:?source dir}
build=$(cd "$build" && pwd -P)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/gloamer-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$scratch/packages" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack could not make the packages"; }
deb="$scratch/packages/gloamer_${version}-1_amd64.deb"
[ -f "$deb" ] || fail "no $(basename "$deb") among: $(ls "$scratch/packages")"

# What the .deb holds and what it asks the system for.
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
for file in usr/bin/gloamer usr/lib/gloamer/vis_gloamer.so usr/lib/gloamer/vis_gloamer.bmp \
    usr/lib/gloamer/libgloamer_platform.so usr/share/man/man1/gloamer.1.gz usr/share/doc/gloamer/copyright \
    usr/share/doc/gloamer/changelog.Debian.gz; do
  [ -f "$root/$file" ] || fail "the .deb lacks /$file"
done
[ -x "$root/usr/bin/gloamer" ] || fail "/usr/bin/gloamer is not executable"
# The README's guides travel with it: every docs/ page it links to is in the .deb beside it.
doc="$root/usr/share/doc/gloamer"
[ -f "$doc/README.md" ] || fail "the .deb lacks /usr/share/doc/gloamer/README.md"
pages=$(grep -o '](docs/[A-Za-z0-9_-]*\.md' "$doc/README.md" | sed 's/^](//' | sort -u)
[ -n "$pages" ] || fail "the packed README links to no page of docs/"
for page in $pages; do
  [ -f "$doc/$page" ] || fail "the README links to $page, which the .deb lacks"
done
cmp -s "$root/usr/lib/gloamer/vis_gloamer.bmp" "$source/assets/vis_gloamer.bmp" || fail "the packed logo is not assets/vis_gloamer.bmp"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for package in libsdl2-2.0-0 libfftw3-double3 libavcodec libavformat libavutil libswscale libswresample \
    libopengl0 libgl1 libegl1 libgl1-mesa-dri; do
  grep -q "\(^\|, \)$package" <<<"$depends" || fail "Depends does not name $package"
done

# Found through their own RPATH, in the unpacked tree: nothing points back into the build.
[ "$(readelf -d "$root/usr/bin/gloamer" | sed -n 's/.*R\(UN\)\?PATH.*\[\(.*\)\]/\2/p')" = '$ORIGIN/../lib/gloamer' ] ||
  fail "gloamer's RPATH is not \$ORIGIN/../lib/gloamer"
[ "$(readelf -d "$root/usr/lib/gloamer/vis_gloamer.so" | sed -n 's/.*R\(UN\)\?PATH.*\[\(.*\)\]/\2/p')" = '$ORIGIN' ] ||
  fail "vis_gloamer.so's RPATH is not \$ORIGIN"
for binary in usr/bin/gloamer usr/lib/gloamer/vis_gloamer.so; do
  links=$(env -i PATH=/usr/bin:/bin ldd "$root/$binary")
  ! grep "not found" <<<"$links" || fail "$binary has unresolved libraries"
  ! grep -F "$build" <<<"$links" || fail "$binary reaches into the build tree"
  platform=$(awk '$1 == "libgloamer_platform.so" {print $3}' <<<"$links")
  [ -n "$platform" ] && [ "$(realpath "$platform")" = "$root/usr/lib/gloamer/libgloamer_platform.so" ] ||
    fail "$binary finds its platform library at '$platform', not in the unpacked tree"
done

# Run from the scratch root with a bare environment: the version, then one second of the demo track.
run() { (cd "$scratch" && env -i PATH=/usr/bin:/bin HOME="$scratch" "$root/usr/bin/gloamer" "$@"); }
[ "$(run --version)" = "gloamer $version" ] || fail "gloamer --version says '$(run --version)'"
mkdir "$scratch/ld"
(cd "$scratch" && env -i PATH=/usr/bin:/bin HOME="$scratch" LD_DEBUG=files LD_DEBUG_OUTPUT="$scratch/ld/trace" \
  "$root/usr/bin/gloamer" render --duration 1 --size 320x240 --fps 30 --quiet -o "$scratch/one.mp4") ||
  fail "gloamer render from the unpacked .deb failed"
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 \
  "$scratch/one.mp4")
[ "$frames" = 30 ] || fail "one second at 30 fps gave $frames frames"
for library in vis_gloamer.so libgloamer_platform.so; do
  loaded=$(sed -n "s/.*calling init: \(.*\/$library\)\$/\1/p" "$scratch"/ld/trace.* | head -n 1)
  [ -n "$loaded" ] && [ "$(realpath "$loaded")" = "$root/usr/lib/gloamer/$library" ] ||
    fail "$library was loaded from '$loaded', not from the unpacked tree"
done
if grep -qF "$build" "$scratch"/ld/trace.*; then
  grep -hF "$build" "$scratch"/ld/trace.* | head -n 3
  fail "a file of the build tree was loaded"
fi

# The manual page describes (as a tagged paragraph) every option that the help of each command lists, in that
# command's own section (the top level's in OPTIONS); -h and --help once for all.
manual=$(zcat "$root/usr/share/man/man1/gloamer.1.gz" | sed 's/\\-/-/g')
commands=$(run --help | sed -n '/^Subcommands:/,/^$/p' | awk '/^  [a-z]/ {print $1}')
[ -n "$commands" ] || fail "gloamer --help lists no commands"
for command in "" $commands; do
  help=$(run $command --help)
  if [ -z "$command" ]; then
    section=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' <<<"$manual")
  else
    section=$(sed -En "/^\.SS \"?$command([ \"]|\$)/,/^\.S[HS] /p" <<<"$manual")
    [ -n "$section" ] || fail "the manual has no section for $command"
  fi
  for option in $(grep -oE '(^|[ ,])--?[a-z][a-z-]*' <<<"$help" | tr -d ' ,' | sort -u); do
    case "$option" in -h | --help) text=$manual ;; *) text=$section ;; esac
    grep -qE "^\.B[IR]? (.*[ \"])?$option([ \",]|$)" <<<"$text" ||
      fail "the manual does not describe '${command:-gloamer} $option' in its section"
  done
done

if [ "$with_zip" = 1 ]; then
  zip="$scratch/packages/gloamer-${version}-windows-x86.zip"
  [ -f "$zip" ] || fail "no $(basename "$zip")"
  listing=$(unzip -Z1 "$zip" | sort)
  expected=$(printf "gloamer-$version-windows-x86/%s\n" INSTALL.txt vis_gloamer.bmp vis_gloamer.dll | sort)
  [ "$listing" = "$expected" ] || fail "the .zip holds: $listing"
  unzip -q "$zip" -d "$scratch/zip"
  folder="$scratch/zip/gloamer-${version}-windows-x86"
  cmp -s "$folder/vis_gloamer.bmp" "$source/assets/vis_gloamer.bmp" || fail "the zipped logo is not assets/vis_gloamer.bmp"
  cmp -s "$folder/vis_gloamer.dll" "$build/win32/vis_gloamer.dll" || fail "the zipped DLL is not the win32 build's"
  grep -q 'file format pei-i386' <<<"$(objdump -f "$folder/vis_gloamer.dll" 2>/dev/null ||
    i686-w64-mingw32-objdump -f "$folder/vis_gloamer.dll")" || fail "the zipped DLL is not 32-bit x86"
  note="$folder/INSTALL.txt"
  grep -q $'\r$' "$note" || fail "INSTALL.txt lacks Windows line ends"
  for words in "vis_gloamer.dll" "vis_gloamer.bmp" "Plugins folder" "Gloamer"; do
    grep -q "$words" "$note" || fail "INSTALL.txt does not mention $words"
  done
fi
echo "ok: $(basename "$deb") unpacks and renders$([ "$with_zip" = 1 ] && echo ", and the .zip holds the DLL, logo and note")"
