#!/usr/bin/env bash
# End-to-end runs of the shipped programs on databases made by real SourceSafe, served read-only by
# the stand-in's COM server: the window's View, Local and Share on tiny, the console program's
# View and Local on micnets, also reading it directly (--direct). What the lists and the fetched files must be comes from the stand-in
# tool's own dump of the database; a Share run is refused file by file and changes nothing. The
# samples are read where they lie (read-only; see tests/native/standin/samples.h for where they
# are looked for); without them the script says so and exits 77, which CTest counts as skipped.
# Usage: real_db.sh OSTRABEL_EXE STANDIN_DLL STANDIN_TOOL_EXE 32|64 WINTEXT_EXE OSTRABELCLI_EXE
samples=${OSTRABEL_VSS_SAMPLES:-}
if [ -z "$samples" ]; then
  at=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  while [ "$at" != / ] && [ ! -d "$at/shared/vss-samples" ]; do at=$(dirname "$at"); done
  [ -d "$at/shared/vss-samples" ] && samples=$at/shared/vss-samples
fi
if [ -z "$samples" ] || [ ! -f "$samples/tiny/srcsafe.ini" ] || [ ! -f "$samples/micnets/srcsafe.ini" ]; then
  echo "skipped: no sample databases (OSTRABEL_VSS_SAMPLES, or ../shared/vss-samples)"
  exit 77
fi
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cli_exe=$6
tiny=$samples/tiny micnets=$samples/micnets

# A fingerprint of a database folder: every file with its size and checksum.
fingerprint() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 sha1sum); }
tiny_before=$(fingerprint "$tiny")

# What the dump says a run must give: the live files below a project (not deleted, not below a
# deleted project), one a line, or (with a folder) their newest contents written below it.
expect() {  # DUMP_FILE PROJECT [FOLDER]
  python3 - "$@" <<'EOF'
import os, re, sys
dump, project, folder = sys.argv[1], sys.argv[2].rstrip('/'), (sys.argv[3:] or [None])[0]
def unquote(s):  # the dump's quoting: \\ \" \n \r \t and \xHH
    out, i = bytearray(), 0
    while i < len(s):
        if s[i] == 0x5C:
            c = s[i + 1]
            if c == ord('x'):
                out.append(int(s[i + 2:i + 4], 16)); i += 4; continue
            out.append({ord('n'): 10, ord('r'): 13, ord('t'): 9}.get(c, c)); i += 2
        else:
            out.append(s[i]); i += 1
    return bytes(out)
deleted, files, newest, first, current = [], [], {}, {}, None
for n, line in enumerate(open(dump, 'rb').read().split(b'\n')):
    text = line.decode('utf-8', 'replace')
    m = re.match(r'(deleted )?(project|file) (.*?)( shares (.*))?$', text)
    if m:
        spec, current = m.group(3), None
        gone = m.group(1) or any(spec.startswith(d + '/') for d in deleted)
        if m.group(2) == 'project':
            if gone: deleted.append(spec)
            continue
        if m.group(5) is None:
            current = n  # the line its versions follow; a deleted twin may have the same path
            if spec not in first or not m.group(1): first[spec] = n
        if not gone and spec.startswith(project + '/'):
            files.append((spec, current if current is not None else first[m.group(5)]))
    elif current is not None and line.startswith(b'  version ') and b' content "' in line:
        newest[current] = unquote(line[line.index(b' content "') + 10:-1])
for spec, source in files:
    if folder is None:
        print(spec)
    else:
        path = os.path.join(folder, spec[len(project) + 1:])
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, 'wb').write(newest[source])
EOF
}
settings() {  # DATABASE PROJECT USER PASSWORD START END LOCALDIR
  printf '[cfg]\nhost=%s\nproject=%s\npatch=$/\nstartDate=%s\nendDate=%s\nuser=%s\npasswd=%s\nignoreBuildUser=0\nlocalDir=%s\n' \
    "$(winpath "$1/srcsafe.ini")" "$2" "$5" "$6" "$3" "$4" "$(winpath "$7")"
}
# Every file below a folder: path, mode and checksum, separated by tabs (paths hold spaces).
tree() { (cd "$1" 2>/dev/null && find . -type f | sort | while read -r f; do printf '%s\t%s\t%s\n' "$f" "$(stat -c %A "$f")" "$(sha1sum < "$f" | cut -c1-40)"; done); }

# --- tiny in the window, as Johnson ("AAH8" has the password hash um.dat keeps for him).
standin dump "$(winpath "$tiny")" > "$work/tiny.dump"
project='$/esign-java-authenticator'
check "tiny: the dump lists both files" 2 "$(expect "$work/tiny.dump" "$project" | wc -l)"
start_app_with "$work/p1" < <(settings "$tiny" "$project" Johnson AAH8 '2023-01-01 00:00' '2024-01-01 00:00' "$work/l1")
click_control View
run
check "tiny, view: every file, as the dump lists them" "$(expect "$work/tiny.dump" "$project")" "$(copy_list 1)"
check "tiny, view: nothing unprocessed" '' "$(copy_list 2)"

# A range of two minutes around Le.txt's last check-in as the dump dates it selects that file only.
# The dump dates it as SourceSafe 6.0d's library does: the stored wall clock (11:34:15, whatever
# the zone of the machine or of srcsafe.ini) in steps of two seconds.
le_last=$(sed -n '/^file .*\/Le.txt$/,/^[^ ]/s/^  version [0-9]* by [^ ]* at \([0-9-]* [0-9:]*\).*/\1/p' "$work/tiny.dump" | tail -1)
check "tiny: Le.txt's last check-in at the time SourceSafe reports" '2023-05-05 11:34:14' "$le_last"
close_app
start_app_with "$work/p2" < <(settings "$tiny" "$project" Johnson AAH8 \
  "$(date -d "$le_last 1 minute ago" '+%Y-%m-%d %H:%M')" "$(date -d "$le_last 1 minute" '+%Y-%m-%d %H:%M')" "$work/l2")
click_control View
run
check "tiny, view around Le.txt's last check-in ($le_last): Le.txt only" "$project/Le.txt" "$(copy_list 1)"
close_app

start_app_with "$work/p3" < <(settings "$tiny" "$project" Johnson AAH8 '2023-01-01 00:00' '2024-01-01 00:00' "$work/l3")
click_control opLocal
run
check "tiny, local: every file processed" "$(expect "$work/tiny.dump" "$project")" "$(copy_list 1)"
expect "$work/tiny.dump" "$project" "$work/tiny.expected"
check "tiny, local: the fetched bytes are the dump's newest contents" "$(tree "$work/tiny.expected" | cut -f1,3)" \
  "$(tree "$work/l3" | cut -f1,3)"
check "tiny, local: the copies are read-only" '-r--r--r-- -r--r--r--' "$(tree "$work/l3" | cut -f2 | xargs)"

# Share into $/: SourceSafe's "You do not have access rights" (0x8004D749) for every file.
click_control opShare
run
refused=' - 未知错误,代码: -2147166391'
check "tiny, share: every file unprocessed, refused" "$(expect "$work/tiny.dump" "$project" | sed "s/\$/$refused/")" "$(copy_list 2)"
check "tiny, share: nothing processed" '' "$(copy_list 1)"
close_app
check "tiny: the database folder is as it was (no lock, nothing written)" "$tiny_before" "$(fingerprint "$tiny")"

# --- micnets with the console program, as Janet ("7T1066" has her hash): View and Local of the
# whole database.
micnets_before=$(fingerprint "$micnets")
standin dump "$(winpath "$micnets")" > "$work/micnets.dump"
expect "$work/micnets.dump" '$/' | LC_ALL=C sort > "$work/micnets.files"
check "micnets: the dump's live files" 530 "$(wc -l < "$work/micnets.files")"
jobs="$work/cli"; mkdir -p "$jobs"
settings "$micnets" '$/' Janet 7T1066 '2000-01-01 00:00' '2030-01-01 00:00' "$work/l4" > "$jobs/job.ini"
cli() { (cd "$jobs" && "$wine" "$cli_exe" "$@" > out 2> err); echo $?; }
check "micnets, console view: status 0" 0 "$(cli --ini job.ini --processed p.txt --unprocessed u.txt)"
check "micnets, console view: every live file, as the dump lists them" "$(cat "$work/micnets.files")" \
  "$(tr -d '\r' < "$jobs/p.txt" | LC_ALL=C sort)"
check "micnets, console local: status 0" 0 "$(cli --ini job.ini --mode local --processed p.txt --unprocessed u.txt)"
expect "$work/micnets.dump" '$/' "$work/micnets.expected"
check "micnets, console local: the fetched bytes are the dump's newest contents" \
  "$(tree "$work/micnets.expected" | cut -f1,3)" "$(tree "$work/l4" | cut -f1,3)"
check "micnets: the database folder is as it was" "$micnets_before" "$(fingerprint "$micnets")"

# --- The same with --direct: the console program reads the folder itself, writing nothing there
# and nothing beside the fetched files.
check "micnets, direct view: status 0" 0 "$(cli --ini job.ini --direct --processed p.txt --unprocessed u.txt)"
check "micnets, direct view: every live file, as the dump lists them" "$(cat "$work/micnets.files")" \
  "$(tr -d '\r' < "$jobs/p.txt" | LC_ALL=C sort)"
rm -rf "$work/l4"
check "micnets, direct local: status 0" 0 "$(cli --ini job.ini --direct --mode local --processed p.txt --unprocessed u.txt)"
check "micnets, direct local: the fetched bytes are the dump's newest contents, and nothing else" \
  "$(tree "$work/micnets.expected" | cut -f1,3)" "$(tree "$work/l4" | cut -f1,3)"
check "micnets, direct share: refused, status 2" 2 "$(cli --ini job.ini --direct --mode vss)"
check "micnets, after the direct runs: the database folder is as it was" "$micnets_before" "$(fingerprint "$micnets")"

finish
