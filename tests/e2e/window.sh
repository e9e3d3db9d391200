#!/usr/bin/env bash
# End-to-end checks of the shipped program's own behaviour: the validation, date and
# confirmation boxes, a wrong password, the inputs typed in one start and shown by the next, and
# closing the window during a Share run (No lets it go on, Yes ends the program; a rerun then
# completes the patch). See lib.sh for how the window is driven.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

db="$work/db"
standin create "$db" >/dev/null
standin seed "$(winpath "$db")" "$(winpath "$here/share_local.txt")" >/dev/null
host=$(winpath "$db/srcsafe.ini")
selected='$/App/main.c
$/App/src/io/read.c
$/App/src/ui/menu.c'
box_summary() {  # title|icon|text|buttons|default of the open box
  local b; b=$(box)
  echo "$(box_field title "$b")|$(box_field icon "$b")|$(box_field text "$b")|$(box_field buttons "$b")|$(box_field default "$b")"
}

# --- Validation: every problem in one box, the inputs saved before they are checked.
start_app_with "$work/p1" < <(printf '[cfg]\n')
click_control cmdPatch
check "empty inputs: one box with the five messages" \
  '提示|yes|VSS服务器地址必需输入\r\nVSS项目路径必需输入\r\n时间范围必需输入\r\n用户名必需输入\r\n密码必需输入\r\n|确定|确定' \
  "$(box_summary)"
key Return
check "empty inputs: settings written at Patch" '[cfg]
host=
project=
patch=
startDate=
endDate=
user=
passwd=
ignoreBuildUser=0
localDir=' "$(tr -d '\r' < "$work/p1/Ostrabel.ini")"

# Typed inputs with two dates that do not parse.
type_into txtHost "$host"
type_into txtProject '$/App'
type_into txtPatch '$/Patch'
type_into txtStartDate '2008-13-45 10:00'
type_into txtEndDate 'abc'
type_into txtUser 'admin'
type_into txtPasswd 'admin'
click_control cmdPatch
check "bad dates: both format messages" '提示|yes|开始时间格式有误\r\n结束时间格式有误\r\n|确定|确定' "$(box_summary)"
key Return

# A start after the end.
type_into txtStartDate '2024-05-05 23:00'
type_into txtEndDate '2024-05-01 00:00'
click_control cmdPatch
check "start after end: the warning" '提示|yes|开始时间不能大于结束时间|确定|确定' "$(box_summary)"
key Return

# Declining the confirmation: nothing is opened or changed, the window stays as it was.
type_into txtStartDate '2024-05-01 00:00'
type_into txtEndDate '2024-05-05 23:00'
click_control opLocal   # the local folder box is only enabled in Local mode
type_into txtShare "$(winpath "$work/local")"
click_control opShare
click_control chkIgnoreBuildUser
before=$(standin dump "$(winpath "$db")")
click_control cmdPatch
check "confirmation: an icon, Yes and No, Yes the default" \
  '提示|yes|该操作需要较长时间，请耐心等待。|是(&Y)|否(&N)|是(&Y)' "$(box_summary)"
key Tab Return   # the second button, No
check "declined: no box follows" 'box=none' "$(box 1000)"
check "declined: the window unchanged" 'Patch 1|' "$(form_value cmdPatch) $(form_value cmdPatch.enabled)|$(form_value statusBar)"
check "declined: the store unchanged" "$before" "$(standin dump "$(winpath "$db")")"
close_app

# --- The next start shows what the previous one saved, and a run with it gives the expected files.
check "typed inputs saved in key order" "[cfg]
host=$host
project=\$/App
patch=\$/Patch
startDate=2024-05-01 00:00
endDate=2024-05-05 23:00
user=admin
passwd=admin
ignoreBuildUser=1
localDir=$(winpath "$work/local")" "$(tr -d '\r' < "$work/p1/Ostrabel.ini")"
start_app "$work/p1"
check "next start: the inputs restored" "$host|\$/App|\$/Patch|2024-05-01 00:00|2024-05-05 23:00|admin|admin|1|$(winpath "$work/local")" \
  "$(for k in txtHost txtProject txtPatch txtStartDate txtEndDate txtUser txtPasswd chkIgnoreBuildUser.checked txtShare; do form_value $k; done | paste -sd'|')"
click_control View
run
check "next start: a run with the restored inputs" "$selected" "$(copy_list 1)"
close_app

# --- A wrong password: the library's text in a plain box; the run does not start.
start_app_with "$work/p2" < <(printf '[cfg]\nhost=%s\nproject=$/App\npatch=$/Patch\nstartDate=2024-05-01 00:00\nendDate=2024-05-05 23:00\nuser=admin\npasswd=wrong\nignoreBuildUser=1\n' "$host")
click_control cmdPatch
key Return   # confirms
check "wrong password: the library's text in a plain box" 'Ostrabel|no|Invalid password|确定|确定' "$(box_summary)"
key Return
check "wrong password: no run" 'Patch 1|' "$(form_value cmdPatch) $(form_value cmdPatch.enabled)|$(form_value statusBar)"
close_app

# --- Closing during a Share run. The run is held where a person would hold it: a close request
# or the File menu waits in the queue until the walk lets the window handle its events (once per
# file), and the box or menu then holds the walk at that file. Every hold is asked for at once, so
# that the checks do not depend on how fast the run goes; a store of 3000 files (over a second of
# run at native speed) leaves ample room between two holds, which come a few dozen files apart.
big="$work/big"
standin generate "$(winpath "$big")" --files 3000 --depth 2 --fanout 4 --history 2 \
  --changed-fraction 1 --range 2024-05-01 2024-05-05 --seed 7 >/dev/null
printf 'user Admin password admin\nproject $/Patch1\nproject $/Patch2\n' | standin seed "$(winpath "$big")" - >/dev/null
big_settings() {
  printf '[cfg]\nhost=%s\nproject=$/gen\npatch=%s\nstartDate=2024-05-01 00:00\nendDate=2024-05-05 23:00\nuser=admin\npasswd=admin\nignoreBuildUser=1\n' \
    "$(winpath "$big/srcsafe.ini")" "$1"
}
shares_below() { standin dump "$(winpath "$big")" | grep -c "^file \\$1/.* shares "; }
keys_now() { xdotool key --clearmodifiers "$@"; }  # without key's pause: the run goes on meanwhile
# Presses Patch, confirms and asks at once to close: the question comes at one of the first files
# and holds the run there.
start_held() { click_control cmdPatch; box > /dev/null; keys_now Return; keys_now alt+F4; }
# Answers the question with No and, once the status bar shows that the walk has gone past the file
# it was held at, asks again: the second question comes when at least that file has been handled.
hold_again() {
  local held; held=$(form_value statusBar)
  keys_now Tab Return
  for _ in $(seq 1 100); do [ "$(form_value statusBar)" != "$held" ] && break; done
  keys_now alt+F4
}

start_app_with "$work/p3" < <(big_settings '$/Patch1')
start=$(date +%s.%N)
start_held
check "close during a run: the question" '提示|no|操作正在进行中，真的要退出？|是(&Y)|否(&N)|是(&Y)' "$(box_summary)"
check "during a run: the button" 'Patching... 0' "$(form_value cmdPatch) $(form_value cmdPatch.enabled)"
check "during a run: the status bar shows the file reached" '$/gen/' "$(form_value statusBar | cut -c1-6)"
hold_again
box > /dev/null
# No, with the File menu asked for in the same breath: it opens at the same file, and its first
# item copies what is listed so far.
echo -n "stale" | xclip -selection clipboard >/dev/null 2>&1
keys_now Tab Return alt+f Return
box > /dev/null  # the notice holds the run in turn
so_far=$(timeout 5 xclip -o -selection clipboard 2>/dev/null | tr -d '\r')
key Return
check "close answered No: the program goes on" 'yes' "$(app_running && echo yes)"
wait_finished
echo "a Share run of 3000 files took $(awk "BEGIN{print $(date +%s.%N) - $start}") s"
all=$(copy_list 1)
check "close answered No: the run completes" 3000 "$(grep -c . <<< "$all")"
check "close answered No: nothing unprocessed" '' "$(copy_list 2)"
check "copy during a run: part of the list, in list order" "$so_far" "$(head -n "$(grep -c . <<< "$so_far")" <<< "$all")"
check "copy during a run: some of the list" yes \
  "$(n=$(grep -c . <<< "$so_far"); [ "$n" -gt 0 ] && [ "$n" -lt 3000 ] && echo yes)"
close_app

start_app_with "$work/p4" < <(big_settings '$/Patch2')
start_held
hold_again
box > /dev/null
key Return   # Yes, the default
for _ in $(seq 1 50); do app_running || break; sleep 0.2; done
check "close answered Yes: the program has ended" 'ended' "$(app_running || echo ended)"
stop_app
check "close answered Yes: the store loads" 0 "$(standin check "$(winpath "$big")" >/dev/null; echo $?)"
partial=$(shares_below '$/Patch2')
check "close answered Yes: part of the files were shared" yes "$([ "$partial" -gt 0 ] && [ "$partial" -lt 3000 ] && echo yes)"
echo "shared before the close: $partial of 3000"

start_app "$work/p4"
run
check "rerun after the close: every file processed" 3000 "$(copy_list 1 | grep -c .)"
check "rerun after the close: nothing unprocessed" '' "$(copy_list 2)"
check "rerun after the close: the patch project complete" \
  "$(standin dump "$(winpath "$big")" | grep '^[a-z]* \$/Patch1/' | sed 's|\$/Patch1/|$/PatchN/|')" \
  "$(standin dump "$(winpath "$big")" | grep '^[a-z]* \$/Patch2/' | sed 's|\$/Patch2/|$/PatchN/|')"
close_app

finish
