#!/usr/bin/env bash
# The shipped Ostrabel.exe and OstrabelCli.exe through Microsoft's own SourceSafe 6.0d library, on a
# database that real SourceSafe makes from scenarios/patch.txt. What each run must give comes from
# the real library's own reading of the database (sourcesafe_probe: the tree in the library's
# order, every history record, Get's bytes) and the selection rules of the user's guide
# (expect.py), never from the programs: the window's View with and without the build user's
# records, its Local (the fetched bytes against Get's), its Share into the patch project (read back
# through the library) and the Share's rerun (which changes nothing); the console's --since-label
# with its CSV report, a report of rows that labels decided, and --explain of every file. Also:
# nothing written outside the patch (the programs run in the empty folder $scratch, which stays
# empty; the local folder holds no *.scc of SourceSafe's), the pinned files (decided, fetched and
# reported by what the project holds), a login without a password on the console, a label bound
# that a file's own label of the same name does not move, and a project typed in other letter
# cases; and the console's direct runs (--direct) against the same runs through the library.
# Without SourceSafe's programs or the sample tiny (make_db.py starts from it) it says so and exits
# 77, which CTest counts as skipped.
# Usage: programs.sh OSTRABEL_EXE - - 32 WINTEXT_EXE OSTRABELCLI_EXE PROBE_EXE
ss_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$ss_here/../../scripts/common.sh"
if [ -z "$(sourcesafe_dir)" ]; then
  echo "skipped: SourceSafe's programs not found (OSTRABEL_SOURCESAFE, or a folder 'sourcesafe' beside the checkout)"
  exit 77
fi
samples=$(vss_samples_dir)
if [ -z "$samples" ] || [ ! -f "$samples/tiny/srcsafe.ini" ]; then
  echo "skipped: no sample database tiny (OSTRABEL_VSS_SAMPLES, or ../shared/vss-samples)"
  exit 77
fi
. "$ss_here/../e2e/lib.sh"
cli_exe=$6 probe_exe=$7
real=$WINEPREFIX.sourcesafe-programs
trap 'stop_app; WINEPREFIX=$real "$(wineserver_bin)" -k >/dev/null 2>&1; rm -rf "$work" "$real"' EXIT
"$top/scripts/sourcesafe-prefix" "$real" >/dev/null || { echo "FAILED: making the SourceSafe prefix"; exit 1; }
export WINEPREFIX=$real
"$(wineserver_bin)" -p
wine_warm_up 32
started=$SECONDS
python3 "$ss_here/make_db.py" "$ss_here/scenarios/patch.txt" "$work/db" "$samples/tiny" "$wine" \
  > "$work/made" 2>&1 || { echo "FAILED: making the database: $(cat "$work/made")"; exit 1; }
echo "made the database with SourceSafe in $((SECONDS - started)) s"
ini=$(winpath "$work/db/srcsafe.ini")
# Every program runs in this folder.
scratch=$work/scratch
mkdir -p "$scratch" && cd "$scratch" || exit 1
probe() { "$wine" "$probe_exe" "$(winpath "$1")" "$ini" rel r3l </dev/null >/dev/null 2>&1; }
expect() { python3 "$ss_here/expect.py" "$@"; }
project='$/App' patch='$/Patches/P1'
reading=$work/before.txt
probe "$reading"
check "the library's reading: the scenario's thirteen live files below $project" 13 \
  "$(expect files "$reading" "$project" 0 '' | wc -l)"
expect pinned "$reading" "$project" > "$work/pinned"
check "the library's reading: two of them are pinned" "\$/App/src/pin2.c
\$/App/src/pinned.c" "$(sort "$work/pinned")"
# The project's own label, read from a subproject's history: that holds the labels of the
# projects above, and not those of the project's files (build.h's own, later "Build 1").
build1=$(expect label "$reading" "$project/docs" "Build 1")
check "the library's reading: a file's own label of that name comes later" yes \
  "$([[ "$(expect label "$reading" "$project" "Build 1")" > "$build1" ]] && echo yes)"
build2=$(expect label "$reading" "$project" "Build 2")
# The ranges end at a check-in after the second build and start at the first build's label or,
# passing over Compileruser, at the one record of guide.txt that is not his: each bound exactly on
# a record, which is then outside.
end=$(expect newest "$reading" '$/App/src/ui/menu.c')
guide=$(expect newest "$reading" '$/App/guide.txt' --ignore-build-user)
expect files "$reading" "$project" "$build1" "$end" > "$work/all"
expect files "$reading" "$project" "$guide" "$end" --ignore-build-user > "$work/changed"
expect files "$reading" "$project" "$build1" '' --skip-labels > "$work/since"
# An empty expectation would pass a program that lists nothing.
check "the library's reading: each range selects some of the files and leaves others out" "yes yes yes" \
  "$(for list in all changed since; do n=$(grep -c . "$work/$list"); [ "$n" -gt 0 ] && [ "$n" -lt 13 ] && echo yes; done | xargs)"

# --- The window: the range typed, then View, Local, View passing over the build user, Share, rerun.
start_app_with "$work/app" < <(printf '[cfg]\nhost=%s\nproject=%s\npatch=%s\nstartDate=\nendDate=\nuser=rel\npasswd=r3l\nignoreBuildUser=0\nlocalDir=%s\n' \
  "$ini" "$project" "$patch" "$(winpath "$work/local")")
type_into txtStartDate "$build1"
type_into txtEndDate "$end"
click_control View
run
check "window, view ($build1 to $end): the files whose newest record lies inside" "$(cat "$work/all")" \
  "$(copy_list 1)"
check "window, view: nothing unprocessed" '' "$(copy_list 2)"
check "the library's reading: the range holds the project file and both pinned files" 3 \
  "$(grep -cE '/(app\.csproj|pinned\.c|pin2\.c)$' "$work/all")"
click_control opLocal
run
check "window, local: the same files fetched" "$(cat "$work/all")" "$(copy_list 1)"
check "window, local: nothing unprocessed" '' "$(copy_list 2)"
check "window, local: the folder holds those files with the bytes of the library's Get (pinned ones at their pins)" \
  "$(expect crcs "$reading" "$project" "$work/all")" "$(expect folder "$work/local")"
check "window, local: no bookkeeping file of SourceSafe's (vssver.scc, mssccprj.scc) is left in the folder" '' \
  "$(cd "$work/local" && find . -iname '*.scc' | sort)"
type_into txtStartDate "$guide"
click_control chkIgnoreBuildUser
click_control View
run
check "window, view passing over Compileruser ($guide to $end): the files others changed inside" \
  "$(cat "$work/changed")" "$(copy_list 1)"
click_control opShare
run
check "window, share: those files processed" "$(cat "$work/changed")" "$(copy_list 1)"
check "window, share: nothing unprocessed" '' "$(copy_list 2)"
check "window, share: the folder it was started from is still empty" '' "$(ls -A "$scratch")"
probe "$work/shared.txt"
check "window, share: the patch project holds those files, each the file itself, in their folders" \
  "$(expect patch-for "$reading" "$project" "$work/changed")" \
  "$(expect patch "$work/shared.txt" "$patch")"
check "window, share: nothing else in the database changed but the files' links" \
  "$(expect outside "$reading" "$patch")" "$(expect outside "$work/shared.txt" "$patch")"
run
check "window, share again: every file processed" "$(cat "$work/changed")" "$(copy_list 1)"
check "window, share again: nothing unprocessed" '' "$(copy_list 2)"
probe "$work/again.txt"
check "window, share again: the database reads as before the rerun" same \
  "$(cmp -s "$work/shared.txt" "$work/again.txt" && echo same || diff "$work/shared.txt" "$work/again.txt")"
close_app

# --- The console program: since a label with its report, a report of label rows, explanations.
printf '[cfg]\nhost=%s\nproject=%s\npatch=\nstartDate=\nendDate=\nuser=rel\npasswd=r3l\nignoreBuildUser=0\nlocalDir=\n' \
  "$ini" "$project" > "$work/job.ini"
cli() {
  "$wine" "$cli_exe" --ini "$(winpath "$work/job.ini")" --encoding utf8 "$@" > "$work/out" 2> "$work/err"
  echo $?
}
lines() { tr -d '\r' < "$1"; }
status=$(cli --since-label "Build 1" --end "" --processed "$(winpath "$work/p.txt")" --report "$(winpath "$work/since.csv")")
check "since a label: status 0" 0 "$status"
check "since a label: the start is the label's time in the project's history" \
  "开始时间取自标签 \"Build 1\": $build1 / the start is the time of the label \"Build 1\": $build1" \
  "$(lines "$work/err" | head -n 1)"
check "since a label: the files with a version after it (labels never decide)" \
  "$(cat "$work/since")" "$(lines "$work/p.txt")"
check "since a label: a pinned file whose only check-in of the range lies above its pin is not listed" '' \
  "$(lines "$work/p.txt" | grep -xF '$/App/src/pinned.c')"
check "since a label: the report's rows are the deciding check-ins, a pinned file's at its pin" \
  "$(expect rows "$reading" "$project" "$build1" '' --skip-labels)" "$(expect csv "$work/since.csv")"
check "since a label: the file pinned at a version of the range is reported at that version" \
  "$(printf '$/App/src/pin2.c\t2')" "$(expect csv "$work/since.csv" | grep -F 'pin2.c' | cut -f 1,2)"
status=$(cli --ignore-build-user --start "$guide" --end "$end" --report "$(winpath "$work/others.csv")")
check "report passing over Compileruser: status 0" 0 "$status"
check "report passing over Compileruser: the rows, decided by check-ins and by other users' labels" \
  "$(expect rows "$reading" "$project" "$guide" "$end" --ignore-build-user)" \
  "$(expect csv "$work/others.csv")"
# Explained in full below, every file but the pinned ones, whose explanation says more.
mapfile -t every < <(expect files "$reading" "$project" 0 '' | grep -vxF -f "$work/pinned")
explained=()
for spec in "${every[@]}"; do explained+=(--explain "$spec"); done
status=$(cli --since-label "Build 1" --until-label "Build 2" --ignore-build-user --target-user bob "${explained[@]}")
check "explain every file between the two builds, for bob: status 0" 0 "$status"
check "explain: each file's records, the deciding one and the verdict" \
  "$(expect explain "$reading" "$project" "$build1" "$build2" --ignore-build-user --skip-labels --target-user bob \
     "${every[@]}")" "$(expect explained "$work/out")"

# --- Direct runs (--direct): the console's View, Local, report and explanations as through the
# library, and the database's folder, which the library itself writes at every opening, left byte
# for byte as the direct runs found it.
folder_sum() { (cd "$1" && find . -type f ! -name '*.scc' -print0 | LC_ALL=C sort -z | xargs -0 sha1sum; find . | LC_ALL=C sort) | sha1sum; }
untimed() { lines "$1" | sed -E 's/[0-9]+\.[0-9] (秒|s)/T \1/g'; }
# A run of ARGS through the library, then through --direct: their status, output, standard error
# (without times), lists and report, and in Local the fetched folder; the two must be the same.
direct_same() {
  local name=$1 how s; shift
  for how in library direct; do
    rm -rf "$work/local" "$work/$how" && mkdir -p "$work/$how"
    [ $how = direct ] && sum=$(folder_sum "$work/db")
    if [ "$1" = --explain ]; then s=$(cli $([ $how = direct ] && echo --direct) "$@")  # no lists
    else s=$(cli $([ $how = direct ] && echo --direct) "$@" --processed "$(winpath "$work/$how/p.txt")" \
      --unprocessed "$(winpath "$work/$how/u.txt")" --report "$(winpath "$work/$how/r.csv")"); fi
    [ $how = direct ] && check "direct, $name: nothing written into the database's folder" "$sum" "$(folder_sum "$work/db")"
    { echo "status $s"; lines "$work/out"; untimed "$work/err"; for f in p.txt u.txt r.csv; do echo "$f:"; [ -f "$work/$how/$f" ] && lines "$work/$how/$f"; done
      [ -d "$work/local" ] && (cd "$work/local" && find . -type f ! -name '*.scc' -print0 | LC_ALL=C sort -z | xargs -0 sha1sum)
    } > "$work/$how.run" 2>&1
  done
  check "direct, $name: as through the library" "$(cat "$work/library.run")" "$(cat "$work/direct.run")"
  check "direct, $name: a run that got to its walk" yes "$(grep -qE '^status [01]$' "$work/direct.run" && echo yes)"
}
direct_same "view since a label" --since-label "Build 1" --end ""
direct_same "view passing over Compileruser" --ignore-build-user --start "$guide" --end "$end"
direct_same "local" --mode local --local-dir "$(winpath "$work/local")" --start "$build1" --end "$end"
direct_same "explain every file" "${explained[@]}" --since-label "Build 1" --until-label "Build 2" \
  --ignore-build-user --target-user bob
status=$(cli --direct --mode vss --patch "$patch")
check "direct, share: refused, status 2" "2 --direct 只读取数据库，不能共享到补丁项目；请用 --mode local 或 --mode view / --direct only reads the database and cannot share into a patch project: use --mode local or --mode view" \
  "$status $(lines "$work/err")"

mapfile -t pins < "$work/pinned"
explained=()
for spec in "${pins[@]}"; do explained+=(--explain "$spec"); done
status=$(cli --since-label "Build 1" "${explained[@]}")
check "explain the pinned files since the first build: status 0" 0 "$status"
check "explain the pinned files: the verdicts by what the project holds" \
  "$(expect explain "$reading" "$project" "$build1" '' --skip-labels "${pins[@]}" | grep -F 'verdict')" \
  "$(expect explained "$work/out" | grep -F 'verdict')"
check "explain the pinned files: each says at which version it is pinned" "pinned at 2 1" \
  "$(for spec in "${pins[@]}"; do
       awk -v s="$spec" '$0 == s { on = 1; next } /^\$\// { on = 0 } on' <(lines "$work/out") |
         grep -oE 'pins this file at version [0-9]+' | grep -oE '[0-9]+$' | head -n 1
     done | xargs | sed 's/^/pinned at /')"

# --- A login without a password: the console runs when the empty password is given explicitly.
printf '[cfg]\nhost=%s\nproject=%s\npatch=\nstartDate=%s\nendDate=%s\nuser=carol\npasswd=\nignoreBuildUser=0\nlocalDir=\n' \
  "$ini" "$project" "$build1" "$end" > "$work/job.ini"
status=$(cli --processed "$(winpath "$work/carol.txt")")
check "carol, who has no password, with passwd= empty in the job: status 0" 0 "$status"
check "carol with passwd= empty: the files of the range" "$(cat "$work/all")" "$(lines "$work/carol.txt")"
sed -i '/^passwd=/d' "$work/job.ini"
export OSTRABEL_PASSWORD=
status=$(cli --processed "$(winpath "$work/carol2.txt")")
unset OSTRABEL_PASSWORD
check "carol with OSTRABEL_PASSWORD set to nothing: status 0" 0 "$status"
check "carol with OSTRABEL_PASSWORD empty: the files of the range" "$(cat "$work/all")" "$(lines "$work/carol2.txt")"

# --- A project typed in other letter cases: the lists and explanations spell paths as the
# database does (the library echoes the typed spelling).
printf '[cfg]\nhost=%s\nproject=%s\npatch=\nstartDate=%s\nendDate=%s\nuser=rel\npasswd=r3l\nignoreBuildUser=0\nlocalDir=\n' \
  "$ini" '$/app/SRC' "$build1" "$end" > "$work/job.ini"
status=$(cli --processed "$(winpath "$work/typed.txt")")
check "project typed \$/app/SRC: status 0" 0 "$status"
check "project typed \$/app/SRC: the files listed as the database spells them" \
  "$(expect files "$reading" '$/App/src' "$build1" "$end")" "$(lines "$work/typed.txt")"
cli --explain '$/app/SRC/Calc.C' >/dev/null
check "project typed \$/app/SRC: --explain \$/app/SRC/Calc.C names \$/App/src/calc.c" '$/App/src/calc.c' \
  "$(lines "$work/out" | head -n 1)"
# The same through --direct: a typed project, its pinned files, and a login without a password.
direct_same "typed project, local" --mode local --local-dir "$(winpath "$work/local")" --start "$build1" --end "$end"
direct_same "typed project, the pinned files explained" "${explained[@]}" --since-label "Build 1"
sed -i 's/^user=rel$/user=carol/; s/^passwd=r3l$/passwd=/' "$work/job.ini"
direct_same "carol, who has no password" --start "$build1" --end "$end"
check "the console runs: the folder they were started from is still empty" '' "$(ls -A "$scratch")"
echo "ran in $((SECONDS - started)) s"
finish
