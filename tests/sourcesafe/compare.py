#!/usr/bin/env python3
"""Compares two probe readings of one database (sourcesafe_probe's text): through Microsoft's
SourceSafe library and through the stand-in. Prints the differences counted by kind (the tree,
an item's members, its version numbers, links, each history field, Get's bytes and what it writes
beside them, the failures) with a few examples of each, and exits 1 when there is any.

The differences the stand-in keeps on purpose are listed, each with its reason, in
known-differences.txt beside this script (or the file --known names): a line of a reading that
one of its patterns matches is left out of both readings, and the count of such lines is
printed; any other difference fails.

Usage: compare.py REAL.txt STANDIN.txt [--examples N] [--known FILE]
"""
import os
import re
import sys
from collections import OrderedDict

HERE = os.path.dirname(os.path.abspath(__file__))


def known(path):
    """The known differences: (compiled pattern, reason) of each line 'PATTERN<TAB>REASON'."""
    out = []
    for number, line in enumerate(open(path, encoding='utf-8').read().split('\n'), 1):
        if not line.strip() or line.startswith('#'):
            continue
        pattern, tab, reason = line.partition('\t')
        if not tab or not reason.strip():
            raise SystemExit(f'{path}: line {number}: a pattern, a tab and a reason')
        out.append((re.compile(pattern), reason.strip()))
    return out

RECORD = re.compile(r'  record (\d+) ("(?:[^"\\]|\\.)*") (\S+ \S+|no-date) ("(?:[^"\\]|\\.)*") '
                    r'comment ("(?:[^"\\]|\\.)*") label ("(?:[^"\\]|\\.)*") '
                    r'label-comment ("(?:[^"\\]|\\.)*")$')
FIELDS = ('version', 'user', 'date', 'action', 'comment', 'label', 'label comment')


def blocks(path, accepted, left_out):
    """The reading as ordered blocks: each item's lines by spec (a second entry of one spec, a
    deleted twin, gets '#2'), the lines before the tree, and the lines after it. Lines that an
    accepted difference matches are left out and counted by its reason."""
    out, current, seen = OrderedDict(), 'opening', {}
    out[current] = []
    for line in open(path, encoding='utf-8', errors='replace').read().split('\n'):
        if not line:
            continue
        reason = next((r for p, r in accepted if p.search(line.strip())), None)
        if reason:
            left_out[reason] = left_out.get(reason, 0) + 1
            continue
        if line.startswith('item '):
            spec = line[5:]
            seen[spec] = seen.get(spec, 0) + 1
            current = spec if seen[spec] == 1 else f'{spec}#{seen[spec]}'
            out[current] = []
        elif line.startswith('after close "'):
            spec = re.match(r'after close ("(?:[^"\\]|\\.)*")', line).group(1)
            out.setdefault(spec, []).append(line)
        elif not line.startswith(' ') and current != 'opening':
            current = 'after the tree'
            out.setdefault(current, [])
            out[current].append(line)
        else:
            out[current].append(line)
    return out


def kind_of(line):
    if line.startswith('  record'):
        return 'record'
    for prefix, kind in (('  name', 'members'), ('  version', 'item version'),
                         ('  looked-up', 'looked-up version'), ('  links', 'links'),
                         ('  items', 'live children'), ('  all-items', 'all children'),
                         ('  get', 'get'), ('after close', 'written beside'), ('  history', 'history'),
                         ('  members', 'members')):
        if line.startswith(prefix):
            return kind
    return 'failures and opening'


def main():
    option = lambda name, default: sys.argv[sys.argv.index(name) + 1] if name in sys.argv else default
    accepted, left_out = known(option('--known', os.path.join(HERE, 'known-differences.txt'))), {}
    real, standin = blocks(sys.argv[1], accepted, left_out), blocks(sys.argv[2], accepted, left_out)
    examples = int(option('--examples', 3))
    counts, shown = OrderedDict(), {}

    def differ(kind, where, a, b):
        counts[kind] = counts.get(kind, 0) + 1
        shown.setdefault(kind, [])
        if len(shown[kind]) < examples:
            cut = lambda v: str(v) if len(str(v)) < 400 else str(v)[:400] + '...'
            shown[kind].append(f'{where}\n      real:     {cut(a)}\n      stand-in: {cut(b)}')

    for spec in list(real) + [s for s in standin if s not in real]:
        if spec not in real or spec not in standin:
            differ('items present', spec, 'present' if spec in real else 'missing',
                   'present' if spec in standin else 'missing')
            continue
        a, b = real[spec], standin[spec]
        ra, rb = [l for l in a if kind_of(l) == 'record'], [l for l in b if kind_of(l) == 'record']
        if len(ra) != len(rb):
            differ('history length', spec, len(ra), len(rb))
        for i, (x, y) in enumerate(zip(ra, rb)):
            mx, my = RECORD.match(x), RECORD.match(y)
            if not mx or not my:
                if x != y:
                    differ('record', f'{spec} record {i + 1}', x.strip(), y.strip())
                continue
            for field, fx, fy in zip(FIELDS, mx.groups(), my.groups()):
                if fx != fy:
                    differ(f'record {field}', f'{spec} record {i + 1}', fx, fy)
        oa, ob = [l for l in a if kind_of(l) != 'record'], [l for l in b if kind_of(l) != 'record']
        by_kind = {}
        for side, lines in ((0, oa), (1, ob)):
            for l in lines:
                by_kind.setdefault(kind_of(l), ([], []))[side].append(l.strip())
        for kind, (x, y) in by_kind.items():
            if x != y:
                differ(kind, spec, ' | '.join(x), ' | '.join(y))

    total = sum(counts.values())
    print(f'{total} differences' + (':' if total else ''))
    for reason, n in left_out.items():
        print(f'  known, left out ({n} lines of both readings): {reason}')
    for kind, n in counts.items():
        print(f'  {kind}: {n}')
        for example in shown[kind]:
            print(f'    {example}')
    return 1 if total else 0


if __name__ == '__main__':
    sys.exit(main())
