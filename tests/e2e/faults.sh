#!/usr/bin/env bash
# End-to-end checks of faults a real user met, mended: a Share run of a project that holds its own
# patch project, a Local run over names Windows cannot hold as written, a patch project holding
# another file of a selected file's name, a Local run over a copy edited by hand, texts beyond the
# edit limit saved at Patch, and the settings file of a program kept in a folder whose name the
# ANSI code page cannot hold. See lib.sh for how the window is driven.
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

db="$work/db" names="$work/names"
for store in "$db:faults.txt" "$names:odd-names.txt"; do
  standin create "${store%%:*}" >/dev/null
  standin seed "$(winpath "${store%%:*}")" "$(winpath "$here/${store##*:}")" >/dev/null
done
settings() {  # DATABASE PROJECT PATCH LOCALDIR
  printf '[cfg]\nhost=%s\nproject=%s\npatch=%s\nstartDate=2024-05-01 00:00\nendDate=2024-05-05 23:00\nuser=admin\npasswd=admin\nignoreBuildUser=0\nlocalDir=%s\n' \
    "$(winpath "$1/srcsafe.ini")" "$2" "$3" "$4"
}

# --- A Share run of $/ whose patch project lies inside it, twice: the walk never enters the patch
# project, so each selected file is shared into it once, at the same depth.
start_app_with "$work/p1" < <(settings "$db" '$/' '$/Patches/2.4' '')
before=$(standin dump "$(winpath "$db")")
run
first=$(standin dump "$(winpath "$db")")
shared_in_patch() { grep -E '^file \$/Patches/2\.4/' <<< "$1" | sed -e 's/ shares .*//' -e 's/^file //' | sort; }
check "patch inside the walked project: each file once in the patch" '$/Patches/2.4/App/main.c
$/Patches/2.4/App/src/io/read.c
$/Patches/2.4/Patches/readme.txt' "$(shared_in_patch "$first")"
run
check "patch inside the walked project: the rerun lists the same files" '$/App/main.c
$/App/src/io/read.c
$/Patches/readme.txt' "$(copy_list 1)"
check "patch inside the walked project: the rerun changes nothing" "$first" "$(standin dump "$(winpath "$db")")"
[ "$before" != "$first" ] || check "patch inside the walked project: the first run shared" changed unchanged
close_app

# --- A Local run over names Windows cannot hold: nothing outside the local folder, every such file
# unprocessed with the invalid-name status, every other file fetched intact.
mkdir -p "$work/p2/out"
start_app_with "$work/p2" < <(settings "$names" '$/Odd' '' "$(winpath "$work/p2/out/local")")
click_control opLocal
run
invalid=' - 未知错误,代码: -2147024773'
check "odd names: processed" '$/Odd/a
$/Odd/dir/x.c
$/Odd/ok/fine.c' "$(copy_list 1)"
check "odd names: unprocessed with the invalid-name status" "\$/Odd/./here.c$invalid
\$/Odd/../up.c$invalid
\$/Odd/a.$invalid
\$/Odd/aux.c$invalid
\$/Odd/COM1/x.c$invalid
\$/Odd/dir./y.c$invalid
\$/Odd/NUL$invalid" "$(copy_list 2)"
check "odd names: the local tree" 'a=a
dir/x.c=dir x
ok/fine.c=fine' "$(cd "$work/p2/out/local" && find . -type f | sed 's|^\./||' | sort | while read -r f; do echo "$f=$(cat "$f")"; done)"
check "odd names: nothing beside the local folder" 'local' "$(ls "$work/p2/out")"
close_app

# --- A patch project holding another file of a selected file's name: SourceSafe refuses the share
# ("an item with that name already exists") and the file is unprocessed, never passed as done; the
# foreign file stays. A Local run over a folder holding a copy edited by hand leaves the copy as it
# is and lists the file unprocessed ("the file exists"); the other file is fetched read-only.
other="$work/other" local="$work/p4/local"
standin create "$other" >/dev/null
standin seed "$(winpath "$other")" - >/dev/null <<'EOF'
user Admin password admin
file $/App/config.h by zhang at "2024-05-02 10:00" content "new config\n"
file $/App/main.c by zhang at "2024-05-03 10:00" content "main\n"
file $/Patch/config.h by li at "2024-04-01 10:00" content "foreign config\n"
EOF
mkdir -p "$local"
printf 'edited by hand\n' > "$local/config.h"
start_app_with "$work/p4" < <(settings "$other" '$/App' '$/Patch' "$(winpath "$local")")
before=$(standin dump "$(winpath "$other")")
run
check "another file of the name in the patch: unprocessed with its status" \
  '$/App/config.h - 未知错误,代码: -2147166572' "$(copy_list 2)"
check "another file of the name in the patch: the other file shared" '$/App/main.c' "$(copy_list 1)"
check "another file of the name in the patch: only the other file's share in the store" \
  '+file $/Patch/main.c shares $/App/main.c' \
  "$(diff <(echo "$before") <(standin dump "$(winpath "$other")") | sed -n 's/^> /+/p')"
click_control opLocal
run
check "a copy edited by hand: unprocessed with the status of an existing file" \
  '$/App/config.h - 未知错误,代码: -2147024816' "$(copy_list 2)"
check "a copy edited by hand: the other file fetched" '$/App/main.c' "$(copy_list 1)"
check "a copy edited by hand: left as it was, the fetched copy read-only" \
  'config.h -rw-r--r-- edited by hand|main.c -r--r--r-- main' \
  "$(cd "$local" && for f in config.h main.c; do printf '%s %s %s|' "$f" "$(stat -c %A "$f")" "$(cat "$f")"; done | sed 's/|$//')"
close_app

# --- Texts beyond the edit limit (100,000 characters in one box, 33,000 in the other saved ones:
# Wine's edit control takes long to take them in): Patch saves, the window answers.
start_app_with "$work/p3" < <(printf '[cfg]\n')
"$wine" "$wintext_exe" fill txtHost 100000 >/dev/null 2>&1
for name in txtProject txtPatch txtStartDate txtEndDate txtUser txtPasswd; do
  "$wine" "$wintext_exe" fill "$name" 33000 >/dev/null 2>&1
done
click_control cmdPatch
# Wine's edit controls repaint such texts for seconds when the box takes the focus; the box's text
# can be read once the program answers again.
shown=
for _ in $(seq 1 30); do
  shown=$(box_field text "$(box 10000)")
  [ -n "$shown" ] && break
done
check "long texts: the validation box" '开始时间格式有误\r\n结束时间格式有误\r\n' "$shown"
key Return
check "long texts: the program still answers" 'Ostrabel v1.0.3' "$(form_value title)"
check "long texts: saved as far as the file holds them" '8191 33000' \
  "$(sed -n 's/^host=//p' "$work/p3/Ostrabel.ini" | tr -d '\r\n' | wc -c) $(form_value txtUser | tr -d '\n' | wc -c)"
close_app

# --- A program folder whose name the ANSI code page (936) cannot hold: the inputs typed in one
# start are saved at Patch and shown by the next.
odd="$work/한국어-ภาษาไทย"
start_app "$odd"
type_into txtHost "$(winpath "$db/srcsafe.ini")"
type_into txtProject '$/App'
type_into txtUser 'admin'
click_control cmdPatch
box > /dev/null
key Return
close_app
check "odd program folder: the settings file written" 'host=project=user=' \
  "$(grep -E '^(host|project|user)=' "$odd/Ostrabel.ini" | sed 's/=.*/=/' | tr -d '\r\n')"
start_app "$odd"
check "odd program folder: the next start shows the inputs" "$(winpath "$db/srcsafe.ini")|\$/App|admin" \
  "$(form_value txtHost)|$(form_value txtProject)|$(form_value txtUser)"
close_app

finish
