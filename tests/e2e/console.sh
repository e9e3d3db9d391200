#!/usr/bin/env bash
# End-to-end checks of the console program beside the window: for the same database and inputs a
# View, Share and Local run of OstrabelCli.exe lists what the window's clipboard copies give (byte
# for byte, CR LF between lines, in the ANSI code page or UTF-8) and changes the store and the
# local folder as the window does; its messages are the window's boxes in the same words; its exit
# status tells how the run went; bad inputs get a message and status 2. Each window run and its
# console twin work on stores of their own, seeded alike. See lib.sh for how the window is driven.
# Usage: console.sh OSTRABEL_EXE STANDIN_DLL STANDIN_TOOL_EXE 32|64 WINTEXT_EXE OSTRABELCLI_EXE
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cli_exe=$6
jobs="$work/cli"
mkdir -p "$jobs"

fresh_db() {  # DIR [EXTRA SEEDING LINE]: the runs' database, with share_local.txt
  standin create "$1" >/dev/null
  standin seed "$(winpath "$1")" "$(winpath "$here/share_local.txt")" >/dev/null
  [ -z "${2:-}" ] || standin seed "$(winpath "$1")" - >/dev/null <<< "$2"
}
settings() {  # DATABASE IGNOREBUILDUSER LOCALDIR [USER PASSWORD]
  printf '[cfg]\nhost=%s\nproject=$/App\npatch=$/Patch\nstartDate=2024-05-01 00:00\nendDate=2024-05-05 23:00\nuser=%s\npasswd=%s\nignoreBuildUser=%s\nlocalDir=%s\n' \
    "$(winpath "$1/srcsafe.ini")" "${4-admin}" "${5-admin}" "$2" "$(winpath "$3")"
}
# Runs the console program in $jobs with the given arguments; its standard output goes to
# $jobs/out, its standard error to $jobs/err; prints the exit status.
cli() { (cd "$jobs" && "$wine" "$cli_exe" "$@" > out 2> err); echo $?; }
ansi() { iconv -f GBK -t UTF-8 "$@"; }  # the ANSI code page here is 936, as on the users' machines
# Lines given with LF as the console writes a list: CR LF between them, none after the last.
joined() { [ -z "$1" ] || printf '%s\n' "$1" | awk 'NR > 1 { printf "\r\n" } { printf "%s", $0 }'; }
same_bytes() { cmp -s "$1" "$2" && echo same || { echo differ; od -c "$2" | head -5; }; }
errors() { ansi "$jobs/err" | tr -d '\r'; }
# Standard error without its summary line's time, which differs from run to run.
errors_untimed() { errors | sed -E 's/用时 [0-9.]+ 秒 \/ (.*), [0-9.]+ s$/用时 T 秒 \/ \1, T s/'; }
summary() { echo "$1：已处理 $2，未处理 $3，用时 T 秒 / $1: processed $2, unprocessed $3, T s"; }  # MODE P U
store_changes() { diff <(echo "$1") <(echo "$2") | sed -n 's/^> /+/p' | sort; }
tree() { (cd "$1" 2>/dev/null && find . -type f | sort | while read -r f; do echo "$f $(stat -c %A "$f") $(cat "$f")"; done); }
damaged='$/App/src/io/broken.c - VSS上这个文件是损坏的'

# --- Share: the window, then its console twin.
fresh_db "$work/dbw1"; fresh_db "$work/dbc1"
start_app_with "$work/p1" < <(settings "$work/dbw1" 1 "$work/lw1")
before=$(standin dump "$(winpath "$work/dbw1")")
run
win_processed=$(copy_list 1) win_unprocessed=$(copy_list 2)
window_changes=$(store_changes "$before" "$(standin dump "$(winpath "$work/dbw1")")")
close_app
settings "$work/dbc1" 1 "$work/lc1" > "$jobs/job.ini"
cp "$jobs/job.ini" "$work/job.ini.before"
before=$(standin dump "$(winpath "$work/dbc1")")
status=$(cli --ini job.ini --mode vss --processed p.txt --unprocessed u.txt)
check "share: exit status 1 (the damaged file)" 1 "$status"
check "share: the window listed the damaged file" "$damaged" "$win_unprocessed"
check "share: processed list as the window's" "$win_processed" "$(ansi "$jobs/p.txt" | tr -d '\r')"
check "share: processed list, the clipboard's bytes" same "$(same_bytes <(joined "$win_processed" | iconv -f UTF-8 -t GBK) "$jobs/p.txt")"
check "share: unprocessed list, the clipboard's bytes" same "$(same_bytes <(joined "$win_unprocessed" | iconv -f UTF-8 -t GBK) "$jobs/u.txt")"
check "share: the store changed as the window changed it" "$window_changes" \
  "$(store_changes "$before" "$(standin dump "$(winpath "$work/dbc1")")")"
check "share: standard error holds only the summary" "$(summary VSS 3 1)" "$(errors_untimed)"
check "share: nothing on standard output" 0 "$(stat -c %s "$jobs/out")"
check "share: the settings file is not written" same "$(same_bytes "$work/job.ini.before" "$jobs/job.ini")"

# The lists in UTF-8, the processed one on standard output (the default).
status=$(cli --ini job.ini --mode vss --encoding utf8 --unprocessed u8.txt)
check "share again: every file already shared is processed" 1 "$status"
check "share again, UTF-8: standard output is the processed list" same "$(same_bytes <(joined "$win_processed") "$jobs/out")"
check "share again, UTF-8: the unprocessed list" same "$(same_bytes <(joined "$win_unprocessed") "$jobs/u8.txt")"

# --- View, with and without the build user's labels and with a target user.
fresh_db "$work/dbw2"
start_app_with "$work/p2" < <(settings "$work/dbw2" 0 "$work/lw2")
click_control View
run
win_all=$(copy_list 1)
type_into txtTargetUser LI
click_control chkIgnoreBuildUser
run
win_li=$(copy_list 1) win_li_unprocessed=$(copy_list 2)
close_app
settings "$work/dbw2" 0 "$work/lc2" > "$jobs/view.ini"
status=$(cli --ini view.ini --processed all.txt --unprocessed -)
check "view: the build label selects every live file, as in the window" "$win_all" "$(ansi "$jobs/all.txt" | tr -d '\r')"
check "view: the unprocessed list on standard output" same "$(same_bytes <(joined "$damaged" | iconv -f UTF-8 -t GBK) "$jobs/out")"
status=$(cli --ini view.ini --target-user LI --ignore-build-user --processed li.txt --unprocessed u.txt)
check "view for li with the build-user option: as the window" "$win_li" "$(ansi "$jobs/li.txt" | tr -d '\r')"
check "view for li: unprocessed as the window" "$win_li_unprocessed" "$(ansi "$jobs/u.txt" | tr -d '\r')"

# --- Local: the lists, the files and their read-only copies as the window makes them.
fresh_db "$work/dbw3"; fresh_db "$work/dbc3"
start_app_with "$work/p3" < <(settings "$work/dbw3" 1 "$work/lw3")
click_control opLocal
run
win_processed=$(copy_list 1) win_unprocessed=$(copy_list 2)
close_app
settings "$work/dbc3" 1 "$work/lc3" > "$jobs/local.ini"
status=$(cli --ini local.ini --mode local --processed p.txt --unprocessed u.txt)
check "local: exit status 1" 1 "$status"
check "local: processed list as the window's" "$win_processed" "$(ansi "$jobs/p.txt" | tr -d '\r')"
check "local: unprocessed list as the window's" "$win_unprocessed" "$(ansi "$jobs/u.txt" | tr -d '\r')"
check "local: the window fetched files" 3 "$(tree "$work/lw3" | wc -l)"
check "local: the same files, contents and modes as the window's" "$(tree "$work/lw3")" "$(tree "$work/lc3")"

# --- A history that cannot be read for another reason than damage: the window's box, here a line
# on standard error with the file's path; listed nowhere, counted as unprocessed.
lost='fault $/App/src/ui/menu.c versions 0x8004D68F text "History cannot be read"'
fresh_db "$work/dbw4" "$lost"; fresh_db "$work/dbc4" "$lost"
start_app_with "$work/p4" < <(settings "$work/dbw4" 1 "$work/lw4")
click_control View
click_control cmdPatch; box > /dev/null; key Return
failure=$(box)
check "history unreadable: the window's box" 'Ostrabel|History cannot be read' "$(box_field title "$failure")|$(box_field text "$failure")"
key Return
wait_finished
win_processed=$(copy_list 1) win_unprocessed=$(copy_list 2)
close_app
settings "$work/dbc4" 1 "$work/lc4" > "$jobs/lost.ini"
status=$(cli --ini lost.ini --processed p.txt --unprocessed u.txt)
check "history unreadable: exit status 1" 1 "$status"
check "history unreadable: the box's words after the path, then the summary" \
  "\$/App/src/ui/menu.c: History cannot be read
$(summary View 2 2)" "$(errors_untimed)"
check "history unreadable: processed list as the window's" "$win_processed" "$(ansi "$jobs/p.txt" | tr -d '\r')"
check "history unreadable: unprocessed list as the window's" "$win_unprocessed" "$(ansi "$jobs/u.txt" | tr -d '\r')"

# --- Refused inputs: the words of the window's boxes, status 2, nothing opened.
start_app_with "$work/p5" < <(settings "$work/dbc1" 1 "$work/lw5" '' '')
click_control cmdPatch
window_words=$(box_field text "$(box)" | sed 's/\\r\\n/\n/g' | sed '/^$/d')
key Return
close_app
# A job file without a passwd key gives no password, as the window's empty box does; an empty
# passwd= gives the empty one, for a login without a password.
settings "$work/dbc1" 1 "$work/lc5" '' '' | sed '/^passwd=/d' > "$jobs/empty.ini"
status=$(cli --ini empty.ini)
check "missing login: status 2" 2 "$status"
check "missing login: the window's messages" "$window_words" "$(errors | head -n 2)"
check "missing login: where the password comes from" \
  '密码取自设置文件的 passwd 或环境变量 OSTRABEL_PASSWORD；没有密码的用户写空的 passwd= / the password comes from passwd in the settings file or from the environment variable OSTRABEL_PASSWORD; for a login without a password write an empty passwd=' \
  "$(errors | sed -n 3p)"
settings "$work/dbc1" 1 "$work/lc5" admin '' > "$jobs/nopassword.ini"
status=$(cli --ini nopassword.ini)
check "an empty passwd=: the login is tried without a password, the library's words" '2 Invalid password' "$status $(errors)"
status=$(cd "$jobs" && OSTRABEL_PASSWORD=admin "$wine" "$cli_exe" --ini empty.ini --user admin > out 2> err; echo $?)
check "password from OSTRABEL_PASSWORD: the run goes" 1 "$status"
status=$(cd "$jobs" && OSTRABEL_PASSWORD=wrong "$wine" "$cli_exe" --ini job.ini > out 2> err; echo $?)
check "OSTRABEL_PASSWORD wins over the file: the library's words, status 2" '2 Invalid password' "$status $(errors)"

bad() {  # NAME STATUS FIRST-LINE-OF-STANDARD-ERROR ARGUMENTS...
  local name=$1 want=$2 first=$3 got
  shift 3
  got=$(cli "$@")
  check "$name" "$want $first" "$got $(errors | head -n 1)"
}
mkdir -p "$jobs/folder.ini"
bad "unknown option" 2 '未知选项 / unknown option: --frobnicate' --ini job.ini --frobnicate
bad "missing settings file" 2 '设置文件不存在 / settings file not found: nope.ini' --ini nope.ini
bad "settings file that is a folder" 2 '设置文件无法读取 / settings file cannot be read: folder.ini (系统错误 / system error 5)' --ini folder.ini
bad "bad start date" 2 '开始时间格式有误' --ini job.ini --start '2024-13-45 10:00'
bad "start after end" 2 '开始时间不能大于结束时间' --ini job.ini --start '2024-06-01 00:00'
bad "local folder that cannot be made" 2 "本地文件夹无法创建 / local folder cannot be created: $(winpath "$work/no/such") (系统错误 / system error 3)" \
  --ini job.ini --mode local --local-dir "$(winpath "$work/no/such")"
bad "list file that cannot be written" 2 '结果文件无法写入 / result file cannot be written: no\such\p.txt (系统错误 / system error 3)' --ini job.ini --processed 'no\such\p.txt'
bad "list file that is the settings file" 2 '结果文件不能是设置文件 / a result file cannot be the settings file: .\JOB.INI' --ini job.ini --processed '.\JOB.INI'
bad "no such project" 2 'File or project not found' --ini job.ini --project '$/Nope'
bad "no such patch project" 2 'File or project not found' --ini job.ini --mode vss --patch '$/Nope'
check "refused inputs: no list on standard output" 0 "$(stat -c %s "$jobs/out")"

# --- The other statuses: everything processed, and results that cannot be written.
status=$(cli --ini job.ini --project '$/App/src/ui')
check "everything processed: status 0, the file on standard output" '0 $/App/src/ui/menu.c' "$status $(ansi "$jobs/out")"
status=$(cli --ini job.ini --processed 'Z:\dev\full')
check "results that cannot be written: status 3 and why" '3 结果无法全部写出 / the results could not all be written' \
  "$status $(errors | sed -n 2p)"

# --- A Share run killed in the middle: no list stands under its own name, only the temporary
# files it was writing; a rerun finishes the lists (the files shared before the kill are already in
# the patch) and leaves the killed run's leftovers alone.
big="$work/big"
standin generate "$(winpath "$big")" --files 2000 --depth 2 --fanout 4 --history 1 \
  --changed-fraction 1 --range 2024-05-01 2024-05-05 --seed 7 >/dev/null
standin seed "$(winpath "$big")" - >/dev/null <<< $'user Admin password admin\nproject $/Patch'
journal="$big/data/journal.txt"
shares() { standin dump "$(winpath "$big")" | grep -c ' shares '; }
grown=$(( $(stat -c %s "$journal") + 30000 ))
killed_run() {
  cd "$jobs" && OSTRABEL_PASSWORD=admin exec "$wine" "$cli_exe" \
    --host "$(winpath "$big/srcsafe.ini")" --user Admin --project '$/gen' --patch '$/Patch' \
    --mode vss --start '2024-04-30 12:00' --end '2024-05-06' \
    --processed big-p.txt --unprocessed big-u.txt > big-out 2> big-err
}
killed_run & pid=$!
for _ in $(seq 1 1200); do [ "$(stat -c %s "$journal")" -gt "$grown" ] && break; sleep 0.05; done
kill -0 "$pid" 2>/dev/null && running=yes || running=no
kill -9 "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
check "killed run: still going when killed" yes "$running"
check "killed run: no list under its own name" '' "$(cd "$jobs" && ls big-p.txt big-u.txt 2>/dev/null)"
leftovers=$(cd "$jobs" && ls big-p.txt.*.tmp big-u.txt.*.tmp 2>/dev/null | wc -l)
check "killed run: only the temporary files" 2 "$leftovers"
done_before=$(shares)
[ "$done_before" -gt 0 ] && [ "$done_before" -lt 2000 ] && partly=yes || partly="no ($done_before shared)"
check "killed run: the patch partly shared" yes "$partly"
status=$( (killed_run); echo $?)
lines() { [ -s "$1" ] && tr -cd '\n' < "$1" | wc -c | awk '{print $1 + 1}' || echo 0; }
check "rerun: every file processed" '0 2000 0' "$status $(lines "$jobs/big-p.txt") $(lines "$jobs/big-u.txt")"
check "rerun: the patch holds every file" 2000 "$(shares)"
check "rerun: the killed run's leftovers left alone" "$leftovers" \
  "$(cd "$jobs" && ls big-p.txt.*.tmp big-u.txt.*.tmp 2>/dev/null | wc -l)"

status=$(cli --help)
check "help: status 0, the usage on standard output" '0 用法 / Usage:' "$status $(ansi "$jobs/out" | head -n 1 | tr -d '\r')"
check "help: the settings file is still not written" same "$(same_bytes "$work/job.ini.before" "$jobs/job.ini")"

finish
