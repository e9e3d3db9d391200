#!/usr/bin/env bash
# Checks the package a user is handed, as scripts/package makes it from this build: it holds the
# program, the console companion, the guides with their pictures and 说明.txt, and nothing else;
# the programs are 32-bit Windows programs without symbols or debug sections that import only
# DLLs of Windows; Ostrabel.exe carries its version, and it starts and shows its window under Wine.
# Usage: check.sh RESOURCES_TEST_EXE STANDIN_DLL STANDIN_TOOL_EXE WINTEXT_EXE
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../../scripts/common.sh"
if needs_i386_namespace; then exec "$top/scripts/with-i386" bash "$0" "$@"; fi
resources_test=$1 dll=$2 tool=$3 wintext=$4

bash "$top/scripts/package" --no-build >/dev/null || { echo "FAILED: scripts/package"; exit 1; }
version=$(sed -n 's/^project(Ostrabel VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
zip="$build/dist/Ostrabel-$version-win32.zip"
unpacked=$(mktemp -d /tmp/ostrabel-package.XXXXXX)
(cd "$unpacked" && cmake -E tar xf "$zip") || { echo "FAILED: unpacking $zip"; exit 1; }
dir="$unpacked/Ostrabel-$version"

# Then the window, with the end-to-end helpers, on the packaged program.
set -- "$dir/Ostrabel.exe" "$dll" "$tool" 32 "$wintext"
. "$top/tests/e2e/lib.sh"
trap 'stop_app; rm -rf "$work" "$unpacked"' EXIT

images=$(cd "$top/docs/images" && ls *.png | sed 's|^|images/|')
guides=$(cd "$top/docs" && ls user-guide*.md 用户指南.md 2>/dev/null)
consoles=$(cd "$build/win32/console" 2>/dev/null && ls *.exe 2>/dev/null)
check "the package holds exactly the programs, the guides and 说明.txt" \
  "$(printf '%s\n' Ostrabel.exe $consoles $guides 说明.txt $images | sort)" \
  "$(cd "$dir" && find . -type f | sed 's|^\./||' | sort)"
check "说明.txt: UTF-8 with a byte-order mark, CR LF line ends" 'efbbbf yes' \
  "$(head -c 3 "$dir/说明.txt" | od -An -tx1 | tr -d ' \n') $(grep -q $'\r$' "$dir/说明.txt" && echo yes)"

# DLLs that come with every Windows the program runs on.
system_dlls='ADVAPI32.dll COMCTL32.dll COMDLG32.dll GDI32.dll KERNEL32.dll OLEAUT32.dll SHELL32.dll USER32.dll VERSION.dll msvcrt.dll ole32.dll'
objdump() { LC_ALL=C i686-w64-mingw32-objdump "$@"; }
for program in Ostrabel.exe $consoles; do
  subsystem='(Windows GUI)'
  [ "$program" = Ostrabel.exe ] || subsystem='(Windows CUI)'
  headers=$(objdump -p "$dir/$program")
  check "$program: a 32-bit x86 program" 'pei-i386 i386' \
    "$(objdump -f "$dir/$program" | sed -n 's/.*file format \(pei-i386\).*/\1/p') $(sed -n 's/^Magic.*(PE32)$/i386/p' <<< "$headers")"
  check "$program: subsystem $subsystem" "$subsystem" "$(sed -n 's/^Subsystem.*\((Windows [A-Z]*)\)$/\1/p' <<< "$headers")"
  check "$program: no symbols or debug sections" '' \
    "$(objdump -h "$dir/$program" | awk '$2 ~ /^\.(debug|stab|zdebug)/ {print $2}')$(sed -n 's/^NumberOfSymbols\s*\([1-9].*\)/symbols \1/p' <<< "$headers")"
  imported=$(sed -n 's/^\s*DLL Name: //p' <<< "$headers" | sort -u)
  check "$program: imports only DLLs of Windows" '' \
    "$(for d in $imported; do grep -qiw "$d" <<< "$system_dlls" || echo "$d"; done)"
done

# The version resource, by the same test that checks the build's program, on the packaged copy.
if OSTRABEL_EXE="$(winpath "$dir/Ostrabel.exe")" "$wine" "$resources_test" >/dev/null 2>&1; then
  check "Ostrabel.exe: icon, version $version and manifest" ok ok
else
  check "Ostrabel.exe: icon, version $version and manifest" ok failed
fi

start_app "$unpacked/run"  # a copy of the packaged program, started as a user would
check "Ostrabel.exe: starts and shows its window" "Ostrabel v$version" "$(form_value title)"
close_app
finish
