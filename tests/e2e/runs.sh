#!/usr/bin/env bash
# End-to-end runs of the shipped program: Share (twice), View with the build-user option and a
# target user, Local (twice), and the two clipboard copies. See lib.sh for how the window is driven.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

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
start_app_with "$work/p1" < <(settings 1)
before=$(standin dump "$(winpath "$db")")
run
check "share run: the window after the run" 'Patch(ed) 1' "$(form_value cmdPatch) $(form_value cmdPatch.enabled)"
check "share run: processed list" "$selected" "$(copy_list 1)"
check "share run: unprocessed list" "$damaged" "$(copy_list 2)"
after=$(standin dump "$(winpath "$db")")
check "share run: new items in the store" "$(printf '%s\n' '+file $/Patch/main.c shares $/App/main.c' \
  '+project $/Patch/src' '+project $/Patch/src/io' '+file $/Patch/src/io/read.c shares $/App/src/io/read.c' \
  '+project $/Patch/src/ui' '+file $/Patch/src/ui/menu.c shares $/App/src/ui/menu.c' | sort)" \
  "$(diff <(echo "$before") <(echo "$after") | sed -n 's/^> /+/p' | sort)"

# The copy tells the user it is done; the clipboard holds the lines separated by CR LF (checked
# inside Wine by the window tests: X receives LF), nothing after the last.
key alt+f; key Return
notice=$(box)
check "copy: the notice" '提示|文件列表已复制至剪贴板中|确定' \
  "$(box_field title "$notice")|$(box_field text "$notice")|$(box_field buttons "$notice")"
key Return
check "copy: no line end after the last line" '$/App/src/ui/menu.c' \
  "$(timeout 5 xclip -o -selection clipboard | tail -c 19)"

# The same run again: every file is already shared (SourceSafe answers 0x8004D72E, "already
# shared by this project"), so every file is processed, nothing changes.
run
check "second share run: processed list" "$selected" "$(copy_list 1)"
check "second share run: store unchanged" "$after" "$(standin dump "$(winpath "$db")")"
close_app

# The build user's label counts when the option is off: every live file changed "in the range".
start_app_with "$work/p2" < <(settings 0)
click_control View
run
check "view run without the build-user option: the build label selects the older files" '$/App/main.c
$/App/src/io/read.c
$/App/src/io/write.c
$/App/src/ui/menu.c' "$(copy_list 1 | sort)"

# A target user (any letter case) keeps only the files whose deciding record is theirs: with
# the option off that record is the build label, with it on li's last version.
type_into txtTargetUser LI
run
check "view run for user li without the build-user option" '' "$(copy_list 1)"
click_control chkIgnoreBuildUser
run
check "view run for user li with the build-user option" '$/App/src/io/read.c' "$(copy_list 1)"
check "view run for user li: the damaged file is still reported" "$damaged" "$(copy_list 2)"
close_app

# A Local run writes the selected files, with their current content, in the project's folders.
start_app_with "$work/p3" < <(settings 1)
click_control opLocal
run
check "local run: processed list" "$selected" "$(copy_list 1)"
check "local run: the folder tree" 'main.c
src/io/read.c
src/ui/menu.c' "$(cd "$work/local" && find . -type f | sed 's|^\./||' | sort)"
check "local run: current content" 'read v2' "$(cat "$work/local/src/io/read.c" 2>/dev/null)"
modes() { (cd "$work/local" && find . -type f | sort | xargs stat -c '%A' | tr '\n' ' '); }
check "local run: the copies are read-only" '-r--r--r-- -r--r--r-- -r--r--r-- ' "$(modes)"

# The same run again, after a new version inside the range: every read-only copy is replaced,
# every file is processed again.
standin seed "$(winpath "$db")" - >/dev/null <<< 'version $/App/src/io/read.c by li at "2024-05-04 12:00" content "read v3\n"'
run
check "second local run: processed list" "$selected" "$(copy_list 1)"
check "second local run: unprocessed list" "$damaged" "$(copy_list 2)"
check "second local run: the new content" 'read v3' "$(cat "$work/local/src/io/read.c" 2>/dev/null)"
check "second local run: the copies are read-only" '-r--r--r-- -r--r--r-- -r--r--r-- ' "$(modes)"
close_app

finish
