#!/usr/bin/env bash
# Checks that the plug-in DLL exports exactly winampVisGetHeader and imports nothing but system DLLs.
set -euo pipefail
dll=${1:?usage: check_dll_imports_exports.sh vis_gloamer.dll}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
[ -f "$dll" ] || { echo "missing: $dll (build the win32 part first)"; exit 1; }

headers=$("$objdump" -p "$dll")
grep -q 'file format pei-i386' <<<"$("$objdump" -f "$dll")" || { echo "not a 32-bit x86 DLL"; exit 1; }

# The export table lists "[ordinal] name" lines after "[Ordinal/Name Pointer] Table".
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[ \t]*\[/{print $NF; next} on && NF==0{on=0}' <<<"$headers")
echo "exports: ${exports:-<none>}"
[ "$exports" = "winampVisGetHeader" ] || { echo "FAIL: expected exactly winampVisGetHeader"; exit 1; }

imports=$(awk '/DLL Name:/{print toupper($3)}' <<<"$headers" | sort -u)
echo "imports:" $imports
allowed="KERNEL32.DLL USER32.DLL GDI32.DLL OPENGL32.DLL MSVCRT.DLL"
for dll_name in $imports; do
  case " $allowed " in
    *" $dll_name "*) ;;
    *) echo "FAIL: imports $dll_name, which a clean Windows does not have"; exit 1 ;;
  esac
done
grep -qx OPENGL32.DLL <<<"$imports" || { echo "FAIL: does not import OPENGL32.DLL"; exit 1; }
echo "ok"
