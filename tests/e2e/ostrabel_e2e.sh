#!/usr/bin/env bash
# End-to-end runs of the shipped Ostrabel.exe under Wine, driven as a person would: clicks on
# the window, keys for the menus and message boxes, results read back from the clipboard, the
# store and the local folder. Needs DISPLAY (an X server without a window manager) and WINEPREFIX.
# Usage: ostrabel_e2e.sh OSTRABEL_EXE STANDIN_DLL STANDIN_TOOL_EXE WINE
set -uo pipefail
exe=$1 dll=$2 tool=$3 wine=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d /tmp/ostrabel-e2e.XXXXXX)
trap 'kill "$app" 2>/dev/null; rm -rf "$work"' EXIT
failures=0 passes=0 app=

check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then passes=$((passes + 1)); echo "ok: $1"
  else failures=$((failures + 1)); printf 'FAILED: %s\n--- expected\n%s\n--- actual\n%s\n' "$1" "$2" "$3"; fi
}
standin() { "$wine" "$tool" "$@" 2>/dev/null | tr -d '\r'; }
winpath() { echo "Z:$1" | tr '/' '\\'; }

# Starts a copy of the program in its own folder with the given settings file content.
start_app() {
  local dir=$1
  mkdir -p "$dir"; cp "$exe" "$dir/Ostrabel.exe"
  cat > "$dir/Ostrabel.ini"
  "$wine" "$dir/Ostrabel.exe" >/dev/null 2>&1 &
  app=$!
  wid=
  for _ in $(seq 1 100); do
    wid=$(xdotool search --name '^Ostrabel v1\.0\.3$' 2>/dev/null | head -1)
    [ -n "$wid" ] && break; sleep 0.2
  done
  [ -n "$wid" ] || { echo "FAILED: the window did not appear"; exit 1; }
  sleep 2
}
# Clicks a point given in the window's client coordinates (pixels at 96 dpi).
# Wine draws the frame of an unmanaged window itself: a 3-pixel border, the caption and the menu bar.
click() { xdotool mousemove --window "$wid" $(($1 + 3)) $(($2 + 41)) click 1; sleep 0.5; }
key() { xdotool key --clearmodifiers "$@"; sleep 0.7; }
patch_button() { click 350 236; }
# Copies a result list with the File menu (1 processed, 2 unprocessed) and answers the notice.
copy_list() {
  echo -n "stale" | xclip -selection clipboard
  key alt+f; [ "$1" = 2 ] && key Down; key Return; key Return
  # Wine hands CF_UNICODETEXT to X with LF line ends.
  timeout 5 xclip -o -selection clipboard 2>/dev/null | tr -d '\r'
}
# Presses Patch, confirms, and gives the run time to finish.
run() { patch_button; sleep 1; key Return; sleep 4; }
close_app() { key alt+F4; wait "$app" 2>/dev/null; app=; }

"$here/../../scripts/register-standin" "$dll" >/dev/null || { echo "FAILED: registering $dll"; exit 1; }
db="$work/db"
standin create "$db" >/dev/null
standin seed "$(winpath "$db")" "$(winpath "$here/share_local.txt")" >/dev/null
settings() {
  printf '[cfg]\nhost=%s\nproject=$/App\npatch=$/Patch\nstartDate=2024-05-01 00:00\nendDate=2024-05-05 23:00\nuser=admin\npasswd=admin\nignoreBuildUser=%s\nlocalDir=%s\n' \
    "$(winpath "$db/srcsafe.ini")" "$1" "$(winpath "$work/local")"
}
selected='$/App/main.c
$/App/src/io/read.c
$/App/src/ui/menu.c'
damaged='$/App/src/io/broken.c - VSS上这个文件是损坏的'

# A Share run creates the folders below the patch project and shares the selected files.
start_app "$work/p1" < <(settings 1)
before=$(standin dump "$(winpath "$db")")
run
check "share run: processed list" "$selected" "$(copy_list 1)"
check "share run: unprocessed list" "$damaged" "$(copy_list 2)"
after=$(standin dump "$(winpath "$db")")
check "share run: new items in the store" "$(printf '%s\n' '+file $/Patch/main.c shares $/App/main.c' \
  '+project $/Patch/src' '+project $/Patch/src/io' '+file $/Patch/src/io/read.c shares $/App/src/io/read.c' \
  '+project $/Patch/src/ui' '+file $/Patch/src/ui/menu.c shares $/App/src/ui/menu.c' | sort)" \
  "$(diff <(echo "$before") <(echo "$after") | sed -n 's/^> /+/p' | sort)"

# The same run again: everything is already shared, so every file is processed, nothing changes.
run
check "second share run: processed list" "$selected" "$(copy_list 1)"
check "second share run: store unchanged" "$after" "$(standin dump "$(winpath "$db")")"
close_app

# The build user's label counts when the option is off: every live file changed "in the range".
start_app "$work/p2" < <(settings 0)
click 40 118   # View
run
check "view run without the build-user option: the build label selects the older files" '$/App/main.c
$/App/src/io/read.c
$/App/src/io/write.c
$/App/src/ui/menu.c' "$(copy_list 1 | sort)"
close_app

# A Local run writes the selected files, with their current content, in the project's folders.
start_app "$work/p3" < <(settings 1)
click 40 102   # Local
run
check "local run: processed list" "$selected" "$(copy_list 1)"
check "local run: the folder tree" 'main.c
src/io/read.c
src/ui/menu.c' "$(cd "$work/local" && find . -type f | sed 's|^\./||' | sort)"
check "local run: current content" 'read v2' "$(cat "$work/local/src/io/read.c" 2>/dev/null)"
close_app

# Validation: the inputs are saved before they are checked, and restored at the next start.
start_app "$work/p4" < <(printf "[cfg]\n")
patch_button; sleep 0.5; key Return
close_app
check "settings written at Patch" '[cfg]
host=
project=
patch=
startDate=
endDate=
user=
passwd=
ignoreBuildUser=0
localDir=' "$(tr -d '\r' < "$work/p4/Ostrabel.ini")"

echo "$passes passed, $failures failed"
[ "$failures" = 0 ]
