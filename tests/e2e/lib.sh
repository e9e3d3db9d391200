# Shared by the end-to-end scripts, which drive the shipped Ostrabel.exe under Wine as a person
# would: clicks on the window's controls, typed text, keys for menus and message boxes. What the
# user sees is read back from outside the program: the clipboard (xclip), the message boxes and
# controls (wintext.exe), the store (the stand-in tool) and the local folder.
# Needs DISPLAY (an X server without a window manager); WINEPREFIX defaults to the project's prefix.
# Usage of a script: SCRIPT OSTRABEL_EXE STANDIN_DLL STANDIN_TOOL_EXE 32|64 WINTEXT_EXE
set -uo pipefail
exe=$1 dll=$2 tool=$3 arch=$4 wintext_exe=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../../scripts/common.sh"
# The 32-bit build runs where 32-bit programs do: emulated, the whole script runs in the namespace.
if [ "$arch" = 32 ] && needs_i386_namespace; then exec "$top/scripts/with-i386" bash "$0" "$@"; fi
if [ -z "${WINEPREFIX:-}" ]; then wine_env "$arch"; else wine_loader_env "$arch"; fi
wine=$(wine_bin "$arch")
work=$(mktemp -d /tmp/ostrabel-e2e.XXXXXX)
failures=0 passes=0 app=
trap 'stop_app; rm -rf "$work"' EXIT

check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then passes=$((passes + 1)); echo "ok: $1"
  else failures=$((failures + 1)); printf 'FAILED: %s\n--- expected\n%s\n--- actual\n%s\n' "$1" "$2" "$3"; fi
}
finish() { echo "$passes passed, $failures failed"; [ "$failures" = 0 ]; }
standin() { "$wine" "$tool" "$@" 2>/dev/null | tr -d '\r'; }
winpath() { echo "Z:$1" | tr '/' '\\'; }
. "$here/drive.sh"
app_running() { [ -n "$app" ] && kill -0 "$app" 2>/dev/null; }
stop_app() { if app_running; then kill "$app" 2>/dev/null; wait "$app" 2>/dev/null; fi; app=; }

# Starts the program copied into DIR, with DIR/Ostrabel.ini as it is (or none).
start_app() {
  local dir=$1
  mkdir -p "$dir"; cp "$exe" "$dir/Ostrabel.exe"
  "$wine" "$dir/Ostrabel.exe" >/dev/null 2>&1 &
  app=$!
  wait_for_window || { echo "FAILED: the window did not appear"; exit 1; }
  sleep 1
}
# Starts the program in DIR with a settings file of the text on standard input.
start_app_with() { mkdir -p "$1"; cat > "$1/Ostrabel.ini"; start_app "$1"; }
close_app() { key alt+F4; wait "$app" 2>/dev/null; app=; }

# Presses Patch, confirms with Enter (Yes is the default) and waits for the end of the run.
run() {
  click_control cmdPatch
  [ "$(box_field text "$(box)")" = "该操作需要较长时间，请耐心等待。" ] || echo "note: no confirmation box"
  key Return
  wait_finished
}
# Copies a result list with the File menu (1 processed, 2 unprocessed), answers the notice and
# prints the clipboard.
copy_list() {
  echo -n "stale" | xclip -selection clipboard >/dev/null 2>&1  # its server keeps no pipe open
  key alt+f; [ "$1" = 2 ] && key Down; key Return
  box > /dev/null  # waits for the notice
  key Return
  # Wine hands CF_UNICODETEXT to X with LF line ends.
  timeout 5 xclip -o -selection clipboard 2>/dev/null | tr -d '\r'
}

# A script that runs the programs through another library, in a prefix of its own, gives "-" as
# STANDIN_DLL: nothing is registered then.
if [ "$dll" != - ]; then
  "$here/../../scripts/register-standin" "$dll" >/dev/null || { echo "FAILED: registering $dll"; exit 1; }
fi
