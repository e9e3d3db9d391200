#!/usr/bin/env bash
# Checks the package a user is handed, as scripts/package makes it from this build: it holds the
# program, the console companion, the guides as HTML pages with their pictures, 说明.txt and the
# samples, and nothing else; the pages are UTF-8 and say so, and every picture and link they name
# is inside the package; each text is in the encoding and with the line ends that Windows reads;
# the sample job file, read by the packaged console program, makes a run; the programs are 32-bit
# Windows programs without symbols or debug sections that import only DLLs of Windows, and the
# console program is at most 4 times the window's size;
# Ostrabel.exe carries its version, and it starts and shows its window under Wine.
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
consoles=$(cd "$build/win32/console" 2>/dev/null && ls *.exe 2>/dev/null)
check "the package holds exactly the programs, the guides, 说明.txt and the samples" \
  "$(printf '%s\n' Ostrabel.exe $consoles 用户指南.html user-guide.html 说明.txt 示例任务.ini 示例任务.cmd \
     $images | sort)" \
  "$(cd "$dir" && find . -type f | sed 's|^\./||' | sort)"

# The guides' pages, as a browser on a Windows without a network opens them.
while IFS= read -r line; do
  case "$line" in
    ok:*) check "${line#ok: }: UTF-8 declared, its pictures and links inside the package" ok ok ;;
    *) check "the guides' pages" "" "$line" ;;
  esac
done < <("$top/tests/package/check_html.py" "$dir" 用户指南.html user-guide.html)

# Every line of a text ends in CR LF: what Notepad needs on older Windows, and cmd.exe in a
# batch file.
crlf() { if grep -q $'[^\r]$' "$1" || grep -q '^$' "$1"; then echo "some lines end in LF alone"; else echo "CR LF"; fi; }
check "说明.txt: UTF-8 with a byte-order mark, CR LF line ends" 'efbbbf CR LF' \
  "$(head -c 3 "$dir/说明.txt" | od -An -tx1 | tr -d ' \n') $(crlf "$dir/说明.txt")"
check "说明.txt: the text of docs/说明.txt, and it points to the HTML guides" 'same 用户指南.html' \
  "$(tail -c +4 "$dir/说明.txt" | tr -d '\r' | cmp -s - "$top/docs/说明.txt" && echo same) $(grep -o 用户指南.html "$dir/说明.txt" | head -1)"
for sample in 示例任务.ini 示例任务.cmd; do
  check "$sample: the text of docs/$sample in code page 936, CR LF line ends" 'same CR LF' \
    "$(iconv -f CP936 -t UTF-8 "$dir/$sample" | tr -d '\r' | cmp -s - "$top/docs/$sample" && echo same) $(crlf "$dir/$sample")"
done

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

# The console program keeps to the window's weight class: besides the database reader of its
# direct runs, whose paths (std::filesystem) bring the C++ runtime's locales (about 1 MB), it
# pulls in no more of the runtime than the window does (file streams and the filesystem's
# operations would add as much again).
window_size=$(stat -c %s "$dir/Ostrabel.exe")
for program in $consoles; do
  size=$(stat -c %s "$dir/$program")
  echo "size: Ostrabel.exe $window_size bytes, $program $size bytes ($(awk "BEGIN{printf \"%.2f\", $size / $window_size}") times)"
  check "$program: at most 4 times the size of Ostrabel.exe" yes \
    "$([ "$size" -le $((window_size * 4)) ] && echo yes || echo "no: $size against $window_size")"
done

# The version resource, by the same test that checks the build's program, on the packaged copy.
if OSTRABEL_EXE="$(winpath "$dir/Ostrabel.exe")" "$wine" "$resources_test" >/dev/null 2>&1; then
  check "Ostrabel.exe: icon, version $version and manifest" ok ok
else
  check "Ostrabel.exe: icon, version $version and manifest" ok failed
fi

# The sample job file as a user would first try it, with only the database's path and the
# password given otherwise: its project, start, empty end, user and build-user rule make a View
# run that lists the file changed since the start, and not the file whose newest record is the
# build user's.
if [ -n "$consoles" ]; then
  db="$work/sample-db"
  standin create "$db" >/dev/null
  standin seed "$(winpath "$db")" - >/dev/null <<'SEED'
user builder password secret
file $/Billing/src/pay.c by alice at "2024-03-05 10:00"
file $/Billing/src/old.c by bob at "2024-01-05 10:00"
version $/Billing/src/old.c by Compileruser at "2024-03-06 10:00"
file $/Billing/src/new.c by carol at "2024-02-01 10:00"
label $/Billing/src/new.c "2.4-rc" by carol at "2024-03-07 10:00"
SEED
  sample_status=$(cd "$dir" && OSTRABEL_PASSWORD=secret "$wine" OstrabelCli.exe --ini 示例任务.ini \
    --host "$(winpath "$db/srcsafe.ini")" > "$work/sample.out" 2> "$work/sample.err"; echo $?)
  check "示例任务.ini: a View run of the sample's keys" \
    "0 \$/Billing/src/new.c|\$/Billing/src/pay.c" \
    "$sample_status $(tr -d '\r' < "$work/sample.out" | sort | paste -sd '|')"
fi

start_app "$unpacked/run"  # a copy of the packaged program, started as a user would
check "Ostrabel.exe: starts and shows its window" "Ostrabel v$version" "$(form_value title)"
close_app
finish
