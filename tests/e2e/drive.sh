# Drives the running Ostrabel.exe from X as a person would and reads back what the window shows.
# Sourced; needs $wine (the Wine loader), $wintext_exe (tests/e2e/wintext.cpp built), DISPLAY
# and WINEPREFIX.
wintext() { "$wine" "$wintext_exe" "$@" 2>/dev/null | tr -d '\r'; }
# The value of one line of "wintext form": a control's text, or NAME.enabled, NAME.checked.
form_value() { wintext form | sed -n "s/^$1=//p"; }
# The open message box as title, icon, text, buttons and default button, or "box=none".
box() { wintext box "${1:-5000}"; }
box_field() { sed -n "s/^$1=//p" <<< "$2"; }
# Waits up to 120 s for the main window to answer; fails when it does not appear.
wait_for_window() {  # by the clock: on a loaded machine Wine starts slowly
  local until=$((SECONDS + 120))
  while [ $SECONDS -lt $until ]; do
    [ "$(form_value title)" = "Ostrabel v1.0.3" ] && return 0; sleep 0.2
  done
  return 1
}
key() { xdotool key --clearmodifiers "$@"; sleep 0.5; }

click_control() {  # the centre of a control, found by its name
  local at; at=$(form_value "$1.center")
  [ -n "$at" ] || { echo "FAILED: no control $1"; exit 1; }
  xdotool mousemove $at click 1; sleep 0.4
}
type_into() {  # replaces the text of a box by typing
  click_control "$1"
  key End shift+Home BackSpace
  xdotool type --delay 15 -- "$2"; sleep 0.3
}
# Waits until the run has ended: the status bar's final text and the button enabled again.
wait_finished() {
  local until=$((SECONDS + 300))
  while [ $SECONDS -lt $until ]; do
    [ "$(form_value statusBar)" = "补丁整理完成！" ] && [ "$(form_value cmdPatch.enabled)" = 1 ] && return 0
    sleep 0.2
  done
  echo "FAILED: the run did not finish"; return 1
}
