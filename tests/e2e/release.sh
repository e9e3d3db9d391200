#!/usr/bin/env bash
# End-to-end checks of the console program's release questions on a store made from this
# repository's own history (tests/e2e/history.py: the first 100 commits of the first-parent line
# as versions of the files they touched, labels "Release A" and "Release B" at two of them):
# --since-label lists the files changed since that commit, --until-label closes the range at the
# other, the CSV report parsed back gives the lists' files with their versions, authors and
# subjects, the HTML report is one page, --explain tells why a file is (not) selected, a label
# that is not there is refused, and --skip-labels gets around an ordinary user's subproject label.
# The labels are the build user's, as a build server applies them.
# Usage: release.sh OSTRABEL_EXE STANDIN_DLL STANDIN_TOOL_EXE 32|64 WINTEXT_EXE OSTRABELCLI_EXE
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cli_exe=$6
jobs="$work/cli"
mkdir -p "$jobs" "$work/expected"
if ! git -C "$top" rev-parse --verify -q HEAD~100 >/dev/null; then
  echo "skipped: $top is not a git checkout with 100 commits"; exit 0
fi
cli() { (cd "$jobs" && "$wine" "$cli_exe" "$@" > out 2> err); echo $?; }
utf8() { tr -d '\r' < "$1"; }
lines_sorted() { utf8 "$1" | sed '/^$/d' | LC_ALL=C sort; }

python3 "$here/history.py" seed "$top" 100 "$work/seed.txt" "$work/expected" || { echo "FAILED: the history"; exit 1; }
standin create "$(winpath "$work/db")" >/dev/null
standin seed "$(winpath "$work/db")" "$(winpath "$work/seed.txt")" >/dev/null
printf '[cfg]\nhost=%s\nproject=$/Ostrabel\npatch=\nstartDate=2000-01-01 00:00\nendDate=2000-01-02 00:00\nuser=Admin\npasswd=admin\nignoreBuildUser=0\nlocalDir=\n' \
  "$(winpath "$work/db/srcsafe.ini")" > "$jobs/rel.ini"
common=(--ini rel.ini --encoding utf8 --processed p.txt --unprocessed u.txt)

# --- Since "Release A", until far ahead: the files the later commits changed.
status=$(cli "${common[@]}" --since-label "Release A" --end "2100-01-01 00:00" --report notes.csv)
check "since a label: status 0" 0 "$status"
check "since a label: the files changed after that commit" "$(LC_ALL=C sort "$work/expected/since.txt")" "$(lines_sorted "$jobs/p.txt")"
check "since a label: nothing unprocessed" 0 "$(stat -c %s "$jobs/u.txt")"
check "since a label: standard error says the bound, and the mode in the summary" \
  "开始时间取自标签 \"Release A\": $(sed -n 's/^label .*"Release A" by Compileruser at "\(.*\)"$/\1/p' "$work/seed.txt") / the start is the time of the label \"Release A\": $(sed -n 's/^label .*"Release A" by Compileruser at "\(.*\)"$/\1/p' "$work/seed.txt")
View：已处理 $(grep -c . "$work/expected/since.txt")" \
  "$(utf8 "$jobs/err" | sed -E 's/，未处理.*//')"
# The report parsed back: the lists' files in their order, each with its newest version's number,
# author, action and subject.
report=$(python3 "$here/history.py" csv "$jobs/notes.csv") || echo "FAILED: the report does not parse: $report"
check "report: the rows are the processed list, in its order" "$(utf8 "$jobs/p.txt")" "$(cut -f1 <<< "$report")"
check "report: each file's version, author, action and subject" \
  "$(awk -F'\t' 'NR == FNR { want[$1] = 1; next } ($1 in want)' "$work/expected/since.txt" "$work/expected/records.tsv" | LC_ALL=C sort)" \
  "$(LC_ALL=C sort <<< "$report")"

# --- Between the two labels, with the HTML report.
status=$(cli "${common[@]}" --since-label "Release A" --until-label "Release B" --report notes.html)
check "between two labels: status 0" 0 "$status"
check "between two labels: the files last changed between them" "$(LC_ALL=C sort "$work/expected/between.txt")" "$(lines_sorted "$jobs/p.txt")"
page=$(cat "$jobs/notes.html")
between=$(grep -c . "$work/expected/between.txt")
check "html report: one page with the bounds' labels and the counts" "yes yes yes" \
  "$(grep -q '^<!DOCTYPE html>' <<< "$page" && echo yes) $(grep -q '标签 / label &quot;Release B&quot;' <<< "$page" && echo yes) $(grep -q "<p class=\"counts\">已处理 $between，未处理 0" <<< "$page" && echo yes)"
check "html report: nothing loaded from elsewhere, no password" "" "$(grep -oE '<script|src=|href=|admin</td>' <<< "$page")"

# --- Why (not) this file.
inside=$(head -n 1 "$work/expected/between.txt")
after=$(LC_ALL=C comm -23 <(LC_ALL=C sort "$work/expected/since.txt") <(LC_ALL=C sort "$work/expected/between.txt") | head -n 1)
status=$(cli --ini rel.ini --encoding utf8 --since-label "Release A" --until-label "Release B" --explain "$inside" --explain "$after")
check "explain: status 0 when every file is there" 0 "$status"
check "explain: the verdicts" "结论 / verdict: 选中
结论 / verdict: 未选中：不早于结束时间" "$(utf8 "$jobs/out" | sed -n 's/^  \(结论 \/ verdict: [^ ]*\).*/\1/p')"
check "explain: the label records passed over" yes "$(utf8 "$jobs/out" | grep -q '跳过：标签记录 / passed over: a label' && echo yes)"
status=$(cli --ini rel.ini --explain '$/Ostrabel/no/such.c')
check "explain: a file that is not there, status 2" 2 "$status"

# --- A label that is not there: status 2, its name and the project's, nothing written.
echo yesterday > "$jobs/p.txt"
status=$(cli --ini rel.ini --encoding utf8 --since-label "Release Z" --report notes.csv --processed p.txt)
check "missing label: status 2 and why" "2 项目 \$/Ostrabel 的历史中没有标签 \"Release Z\" / label \"Release Z\" is not in the history of the project \$/Ostrabel" \
  "$status $(utf8 "$jobs/err")"
check "missing label: the report is as it was" same "$(cmp -s <(printf '%s\n' "$report" | cut -f1) <(python3 "$here/history.py" csv "$jobs/notes.csv" | cut -f1) && echo same)"

# --- The trap: with the build user's records passed over (the release labels are the build
# user's), an ordinary user's label on a subproject still selects every file below it; skipping
# labels leaves the versions to decide.
standin seed "$(winpath "$work/db")" - >/dev/null <<< 'label "$/Ostrabel/tests" "qa passed" by zhang at "2099-01-01 00:00"'
start=$(sed -n 's/^label .*"Release A" by Compileruser at "\(.*\)"$/\1/p' "$work/seed.txt")
cli "${common[@]}" --start "$start" --end "2100-01-01 00:00" --ignore-build-user > /dev/null
check "trap: every file below the labelled subproject is selected" \
  "$( (cat "$work/expected/since.txt"; cut -f1 "$work/expected/records.tsv" | grep '^\$/Ostrabel/tests/') | LC_ALL=C sort -u)" \
  "$(lines_sorted "$jobs/p.txt")"
cli "${common[@]}" --start "$start" --end "2100-01-01 00:00" --ignore-build-user --skip-labels > /dev/null
check "trap: --skip-labels lists the files changed since" "$(LC_ALL=C sort "$work/expected/since.txt")" "$(lines_sorted "$jobs/p.txt")"

finish
