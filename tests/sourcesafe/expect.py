#!/usr/bin/env python3
"""What a run of Ostrabel must give, worked out from a reading of the database through the real
library (sourcesafe_probe's text) with the rules of the user's guide, and the programs' own
outputs put into the same form, for programs.sh to compare.

A file is selected when its deciding record lies strictly inside the range: the first record of
its history (the library's order, newest first) that is not passed over. With
--ignore-build-user every record of Compileruser is passed over, with --skip-labels every label.
A pinned file (the project holds another version than the newest) is decided by what the project
holds: its check-ins above the pinned version decide nothing (labels still do).

  files READING PROJECT START END [OPTIONS]     the selected files, in the walk's order
  pinned READING PROJECT                        the pinned files below the project
  label READING PROJECT LABEL                   the newest time of the label in the project's history
  newest READING SPEC [--ignore-build-user]     the time of the file's deciding record, with no range
  crcs READING PROJECT LIST                     each listed file's path below PROJECT and Get's CRC
  folder DIR                                    the same of the files in a folder, SourceSafe's
                                                bookkeeping files (*.scc) left out
  rows READING PROJECT START END [OPTIONS]      the report's rows of the selected files
  csv REPORT.csv                                the rows of a report
  explain READING PROJECT START END [OPTIONS] PATH...   what --explain prints of the files
  explained OUTPUT                              what --explain printed
  patch READING PATCH                           the patch project's tree: folders, and each file's
                                                other places and CRC
  patch-for READING PROJECT LIST                the tree the listed files must give in a patch
  outside READING PATCH                         the reading without the patch project and links
OPTIONS: --ignore-build-user, --skip-labels, --target-user NAME. An empty END means no end.
A report row that a label decided names the file's version under the label (the newest of its
versions older than the label, as the project holds them) and the label's comment.
"""
import csv
import os
import re
import sys
import zlib

Q = r'"(?:[^"\\]|\\.)*"'
RECORD = re.compile(rf'  record (\d+) ({Q}) (\S+ \S+) ({Q}) comment ({Q}) label ({Q}) '
                    rf'label-comment ({Q})$')
BUILD_USER = 'Compileruser'
MARKS = {'build': '跳过：构建用户的记录 / passed over: the build user\'s record',
         'label': '跳过：标签记录 / passed over: a label',
         'decides': '这条记录决定 / this record decides',
         'older': '更早的记录，运行不再读取 / older: a run reads no further'}


def unquote(text):
    body, out, i = text[1:-1], '', 0
    while i < len(body):
        if body[i] == '\\':
            e = body[i + 1]
            if e == 'x':
                out += chr(int(body[i + 2:i + 4], 16))
                i += 4
                continue
            out += {'n': '\n', 'r': '\r', 't': '\t'}.get(e, e)
            i += 2
        else:
            out += body[i]
            i += 1
    return out


def reading(path):
    """The items as the probe met them, each with its members, records, links and Get's CRC."""
    items = []
    for line in open(path, encoding='utf-8').read().split('\n'):
        if line.startswith('item "'):
            items.append({'spec': unquote(line[5:]), 'records': [], 'links': [], 'crc': None})
            continue
        if not items or not line.startswith('  '):
            continue
        item = items[-1]
        if m := re.match(rf'  name ({Q}) type (\d) deleted (\w+)$', line):
            item.update(name=unquote(m[1]), type=int(m[2]), deleted=m[3] == 'yes')
        elif m := re.match(r'  (version|looked-up version) (\d+)$', line):
            item[m[1]] = int(m[2])
        elif line.startswith('  links'):
            item['links'] = [unquote(q) for q in re.findall(Q, line)]
        elif m := RECORD.match(line):
            item['records'].append(dict(zip(
                ('version', 'user', 'date', 'action', 'comment', 'label', 'label_comment'),
                [int(m[1]), unquote(m[2]), m[3][:19]] + [unquote(m[k]) for k in (4, 5, 6, 7)])))
        elif line.startswith('  get writes '):
            for name, crc in re.findall(rf'({Q}) \d+ bytes(?: crc ([0-9A-F]{{8}}))?', line):
                if unquote(name) == item.get('name'):
                    item['crc'] = crc
    return items


def below(spec, project):
    return spec.startswith(project.rstrip('/') + '/')


def live_files(items, project):
    """The files a walk of the project visits, in its order: live, below no deleted project."""
    gone = [i['spec'] for i in items if i.get('deleted') and i.get('type') == 0]
    return [i for i in items if i.get('type') == 1 and not i['deleted'] and below(i['spec'], project)
            and not any(below(i['spec'], g) for g in gone)]


def pinned(item):
    return item.get('version') != item.get('looked-up version')


def options(args):
    o = {'build': '--ignore-build-user' in args, 'labels': '--skip-labels' in args, 'target': None}
    if '--target-user' in args:
        o['target'] = args[args.index('--target-user') + 1]
    return o, [a for k, a in enumerate(args)
               if not a.startswith('--') and (k == 0 or args[k - 1] != '--target-user')]


def held(item):
    """The records that can decide for the file as its project holds it: a pinned file's check-ins
    above its pin are not the project's."""
    if not pinned(item):
        return item['records']
    return [r for r in item['records'] if r['label'] or r['version'] <= item['version']]


def decide(records, start, end, o):
    """The passed-over records with why, the deciding record (or None) and the verdict."""
    passed = []
    for r in records:
        why = 'build' if o['build'] and r['user'] == BUILD_USER else \
              'label' if o['labels'] and r['label'] else None
        if not why:
            if r['date'] <= start:
                return passed, r, 'start'
            if end and r['date'] >= end:
                return passed, r, 'end'
            if o['target'] and r['user'].lower() != o['target'].lower():
                return passed, r, 'user'
            return passed, r, 'selected'
        passed.append((r, why))
    return passed, None, 'none'


def selected(items, project, start, end, o):
    return [i for i in live_files(items, project) if decide(held(i), start, end, o)[2] == 'selected']


def row(path, version, time, user, action, label, comment, outcome):
    return '\t'.join((path, str(version), time, user, action, label, comment, outcome))


def explanation(item, start, end, o):
    out = [item['spec']]

    def record(r, mark):
        head = f'  * 版本 / version {r["version"]}  {r["date"]}  {r["user"]}  {r["action"]}'
        out.append(head + (f'  标签 / label: {r["label"]}' if r['label'] else ''))
        for k, text in enumerate(re.split(r'\r\n|\r|\n', r['comment']) if r['comment'] else []):
            out.append(('      注释 / comment: ' if k == 0 else '        ') + text)
        out.append('      -> ' + MARKS[mark])

    passed, deciding, verdict = decide(held(item), start, end, o)
    for r, why in passed:
        record(r, why)
    if deciding:
        record(deciding, 'decides')
        for r in item['records'][item['records'].index(deciding) + 1:]:
            record(r, 'older')
    out.append('  结论 / verdict: ' + {
        'selected': '选中 / selected',
        'start': f'未选中：不晚于开始时间 {start} / not selected: not after the start, {start}',
        'end': f'未选中：不早于结束时间 {end} / not selected: not before the end, {end}',
        'user': f'未选中：不是操作用户 {(o["target"] or "").lower()} 的记录 / not selected: not a '
                f'record of the target user {(o["target"] or "").lower()}',
        'none': '未选中：没有可决定的记录 / not selected: no record is left to decide'}[verdict])
    return out


def normalized(lines):
    """An explanation with a label record's version and comment left out."""
    out, in_label = [], False
    for line in lines:
        if line.startswith('  * '):
            in_label = '  标签 / label: ' in line
            if in_label:
                line = re.sub(r'version \d+', 'version *', line, count=1)
        elif line.startswith('      -> '):
            in_label = False
        elif in_label:
            continue
        out.append(line)
    return out


def main():
    command, args = sys.argv[1], sys.argv[2:]
    o, plain = options(args)
    if command in ('files', 'rows', 'explain'):
        items, project, start, end = reading(plain[0]), plain[1], plain[2], plain[3]
        if command == 'files':
            for i in selected(items, project, start, end, o):
                print(i['spec'])
        elif command == 'rows':
            for i in selected(items, project, start, end, o):
                records = held(i)
                r = decide(records, start, end, o)[1]
                version, comment = r['version'], r['comment']
                if r['label']:
                    older = [b for b in records[records.index(r) + 1:] if not b['label']]
                    version, comment = (older[0]['version'] if older else ''), r['label_comment']
                print(row(i['spec'], version, r['date'], r['user'], r['action'], r['label'],
                          comment, '已处理 / processed'))
        else:
            by_spec = {i['spec']: i for i in items}
            for k, path in enumerate(plain[4:]):
                print('\n'.join(([''] if k else []) + normalized(explanation(by_spec[path], start,
                                                                             end, o))))
    elif command == 'pinned':
        for i in live_files(reading(plain[0]), plain[1]):
            if pinned(i):
                print(i['spec'])
    elif command == 'label':
        history = next(i for i in reading(plain[0]) if i['spec'] == plain[1])['records']
        print(max(r['date'] for r in history if r['label'] == plain[2]))
    elif command == 'newest':
        item = next(i for i in reading(plain[0]) if i['spec'] == plain[1])
        print(decide(held(item), '', '', o)[1]['date'])
    elif command == 'crcs':
        by_spec = {i['spec']: i for i in reading(plain[0])}
        for spec in sorted(open(plain[2], encoding='utf-8').read().splitlines()):
            print(f'{spec[len(plain[1].rstrip("/")) + 1:]}\t{by_spec[spec]["crc"]}')
    elif command == 'folder':
        found = []
        for root, _, names in os.walk(plain[0]):
            for name in names:
                if not name.lower().endswith('.scc'):
                    path = os.path.join(root, name)
                    crc = zlib.crc32(open(path, 'rb').read())
                    found.append(f'{os.path.relpath(path, plain[0])}\t{crc:08X}')
        print('\n'.join(sorted(found)))
    elif command == 'csv':
        rows = list(csv.reader(open(plain[0], encoding='utf-8-sig', newline='')))
        for fields in rows[1:]:
            print(row(*fields))
    elif command == 'explained':
        print('\n'.join(normalized(open(plain[0], encoding='utf-8').read().replace('\r\n', '\n')
                                   .split('\n')[:-1])))
    elif command == 'patch':
        lines = []
        for i in reading(plain[0]):
            if below(i['spec'], plain[1]):
                rel = i['spec'][len(plain[1]) + 1:]
                others = ' '.join(sorted(set(i['links']) - {i['spec']}))
                lines.append(f'{rel}/' if i['type'] == 0 else f'{rel}\t{others}\t{i["crc"]}')
        print('\n'.join(sorted(lines)))
    elif command == 'patch-for':
        by_spec, project = {i['spec']: i for i in reading(plain[0])}, plain[1]
        lines = set()
        for spec in open(plain[2], encoding='utf-8').read().splitlines():
            rel = spec[len(project) + 1:]
            for k in range(1, rel.count('/') + 1):
                lines.add('/'.join(rel.split('/')[:k]) + '/')
            lines.add(f'{rel}\t{" ".join(sorted(by_spec[spec]["links"]))}\t{by_spec[spec]["crc"]}')
        print('\n'.join(sorted(lines)))
    elif command == 'outside':
        keep, skipping = [], False
        for line in open(plain[0], encoding='utf-8').read().split('\n'):
            if line.startswith('item "'):
                spec = unquote(line[5:])
                skipping = spec == plain[1] or below(spec, plain[1])
            elif not line.startswith(' '):
                skipping = line.startswith('after close')
            if not skipping and not line.startswith('  links'):
                keep.append(line)
        print('\n'.join(keep))
    else:
        raise SystemExit(__doc__)


if __name__ == '__main__':
    main()
