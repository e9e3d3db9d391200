#!/usr/bin/env python3
"""A stand-in store made from this repository's own history, for tests/e2e/release.sh.

  history.py seed REPO COMMITS SCRIPT EXPECTED
      Writes a seeding script: the first COMMITS commits of REPO's first-parent line as versions
      of the files they touched ($/Ostrabel/...), by their authors at their times (one second
      apart at least, so that their order is their time order), with their subjects as comments;
      the labels "Release A" and "Release B" on $/Ostrabel by Compileruser at the times of two
      chosen commits.
      Into the folder EXPECTED: since.txt (the files changed after "Release A" that still exist),
      between.txt (those whose last change lies strictly between the two labels) and records.tsv
      (path, version number, user, action and comment of each file's newest version).
  history.py csv REPORT
      Prints the rows of a CSV report as path<TAB>version<TAB>user<TAB>action<TAB>comment lines,
      after checking its byte-order mark, its CR LF line ends and its header.
"""
import csv
import io
import subprocess
import sys
import time

ROOT = "$/Ostrabel"
LABEL_A, LABEL_B = 70, 90  # the commits (1-based) the labels are made at


def quote(text):
    return '"' + (text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n")
                  .replace("\r", "\\r").replace("\t", "\\t")) + '"'


def commits(repo, count):
    out = subprocess.run(
        ["git", "-C", repo, "-c", "core.quotePath=false", "log", "--first-parent", "--reverse",
         "--no-renames", "-m", "--name-status", "--format=%x01%at%x02%an%x02%s"],
        check=True, capture_output=True, text=True, encoding="utf-8").stdout
    result = []
    for chunk in out.split("\x01")[1:]:
        head, _, body = chunk.partition("\n")
        stamp, author, subject = head.split("\x02", 2)
        changes = []
        for line in body.splitlines():
            if "\t" in line:
                status, path = line.split("\t", 1)
                changes.append((status[0], path))
        result.append((int(stamp), author, subject, changes))
    return result[:count]


def seed(repo, count, script_path, expected):
    history = commits(repo, int(count))
    lines = ["user Admin password admin", "project " + quote(ROOT) + " at \"2000-01-01 00:00\""]
    live = {}       # path -> [version, user, action, comment]
    touched = {}    # path -> index of the last commit that changed it
    last = 0
    times = []
    for index, (stamp, author, subject, changes) in enumerate(history, start=1):
        # On even seconds, two apart: the library reports times in steps of two seconds.
        last = max(stamp - stamp % 2, last + 2)
        at = time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(last))
        times.append(at)
        by = " by " + quote(author) + " at " + quote(at) + " comment " + quote(subject)
        for status, path in changes:
            spec = quote(ROOT + "/" + path)
            if status == "D":
                if path in live:
                    lines.append("delete " + spec + " by " + quote(author) + " at " + quote(at))
                    del live[path]
                continue
            if path in live:
                lines.append("version " + spec + by)
                project = ROOT + "/" + path.rsplit("/", 1)[0] if "/" in path else ROOT
                live[path] = [live[path][0] + 1, author, "Checked in " + project, subject]
            else:
                lines.append("file " + spec + by)
                live[path] = [1, author, "Created ", subject]
            touched[path] = index
        if index in (LABEL_A, LABEL_B):
            name = "Release A" if index == LABEL_A else "Release B"
            lines.append("label " + quote(ROOT) + " " + quote(name) + " by Compileruser at " + quote(at))
    with open(script_path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    since = sorted(ROOT + "/" + p for p in live if touched[p] > LABEL_A)
    between = sorted(ROOT + "/" + p for p in live if LABEL_A < touched[p] < LABEL_B)
    with open(expected + "/since.txt", "w", encoding="utf-8") as f:
        f.write("".join(p + "\n" for p in since))
    with open(expected + "/between.txt", "w", encoding="utf-8") as f:
        f.write("".join(p + "\n" for p in between))
    with open(expected + "/records.tsv", "w", encoding="utf-8") as f:
        for path in sorted(live):
            version, user, action, comment = live[path]
            f.write("\t".join([ROOT + "/" + path, str(version), user, action, comment]) + "\n")


def report(path):
    data = open(path, "rb").read()
    if not data.startswith(b"\xef\xbb\xbf"):
        sys.exit("no byte-order mark")
    text = data[3:].decode("utf-8")
    if text.replace("\r\n", "").count("\n") != 0 or not text.endswith("\r\n"):
        sys.exit("a line end that is not CR LF outside a field")
    rows = list(csv.reader(io.StringIO(text, newline="")))
    if rows[0][0] != "路径 / path" or len(rows[0]) != 8:
        sys.exit("unexpected header: %r" % rows[0])
    for row in rows[1:]:
        print("\t".join([row[0], row[1], row[3], row[4], row[6]]))


if __name__ == "__main__":
    if sys.argv[1] == "seed":
        seed(*sys.argv[2:6])
    else:
        report(sys.argv[2])
