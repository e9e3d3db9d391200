#!/usr/bin/env python3
"""Makes a SourceSafe database with Microsoft's own SourceSafe 6.0d, from a short scenario.

The new database starts as a copy of the `tiny` sample (made by real SourceSafe; MKSS.EXE under
Wine makes an older format) whose project is destroyed and whose users other than Admin are
deleted. The scenario's steps are then carried out by make_db.js through the real automation
library, under the Wine prefix that WINEPREFIX names (scripts/sourcesafe-prefix makes one), in the
ANSI code page of the locale (936 under zh_CN.UTF-8). SourceSafe stamps every record with the
machine's clock, so a scenario's records have the times they are made at: `wait` puts seconds
between them (the script waits by watching the clock: Wine's script host has no working
WScript.Sleep).

Scenario lines (blank lines and lines starting with # are ignored; texts quoted as in the
stand-in's seeding scripts: "..." with \\" \\\\ \\n \\r \\t and \\xHH, UTF-8):
  user NAME [password PW]
  project PATH [by USER] [comment TEXT]
  file PATH [by USER] [content TEXT] [binary] [comment TEXT]     (content: "PATH version 1\\n")
  version PATH [by USER] [content TEXT] [comment TEXT]           (content: "PATH version N\\n")
  checkout PATH [by USER]                                        (left checked out)
  label PATH LABEL [by USER] [comment TEXT]
  share FILE into PROJECT [by USER] [comment TEXT]
  pin FILE into PROJECT version N [by USER] [comment TEXT]       (a share pinned to version N)
  branch PATH [by USER] [comment TEXT]
  rename PATH to NAME [by USER]
  move PROJECT into PROJECT [by USER]
  delete PATH [by USER]  |  recover PATH [by USER]  |  destroy PATH [by USER]
  wait SECONDS
  tick even|odd                                                  (waits for a new such second)

Usage: make_db.py SCENARIO DATABASE_DIR TINY_SAMPLE_DIR WINE [SCRIPT_HOST]
Prints what the run did; exits 1 with the scenario line that failed.
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def tokens(text, number):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c in ' \t':
            i += 1
        elif c == '"':
            value, i = bytearray(), i + 1
            while i < len(text) and text[i] != '"':
                if text[i] == '\\' and i + 1 < len(text):
                    e = text[i + 1]
                    if e == 'x':
                        value.append(int(text[i + 2:i + 4], 16))
                        i += 4
                        continue
                    value += {'n': b'\n', 'r': b'\r', 't': b'\t'}.get(e, e.encode())
                    i += 2
                else:
                    value += text[i].encode()
                    i += 1
            if i == len(text):
                raise SystemExit(f'line {number}: unterminated text')
            out.append(bytes(value))
            i += 1
        else:
            j = i
            while j < len(text) and text[j] not in ' \t':
                j += 1
            out.append(text[i:j].encode())
            i = j
    return out


def js(value):
    """A JScript string literal of a UTF-8 text, every character beyond ASCII escaped, so that the
    script host reads it whatever the code page."""
    text = value.decode('utf-8') if isinstance(value, bytes) else value
    out = '"'
    for ch in text:
        code = ord(ch)
        if ch in '"\\' or code < 0x20 or code > 0x7e:
            if code > 0xFFFF:
                code -= 0x10000
                out += '\\u%04x\\u%04x' % (0xD800 + (code >> 10), 0xDC00 + (code & 0x3FF))
            else:
                out += '\\u%04x' % code
        else:
            out += ch
    return out + '"'


def split(spec):
    spec = spec.rstrip('/')
    parent, _, name = spec.rpartition('/')
    return (parent if parent != '$' else '$/'), name


def main():
    scenario, database, tiny, wine = sys.argv[1:5]
    host = sys.argv[5] if len(sys.argv) > 5 else 'cscript'
    work = tempfile.mkdtemp(prefix='make-db.')
    try:
        if os.path.exists(database):
            shutil.rmtree(database)
        shutil.copytree(tiny, database)
        for root, dirs, files in os.walk(database):
            for name in dirs + files:
                os.chmod(os.path.join(root, name), 0o755 if name in dirs else 0o644)
        data = os.path.join(database, 'data')
        for letter in 'abcdefghijklmnopqrstuvwxyz':
            os.makedirs(os.path.join(data, letter), exist_ok=True)
        os.makedirs(os.path.join(data, 'labels'), exist_ok=True)

        steps, versions, made = ['step(0, emptyDatabase);'], {}, 0
        projects = {'$/'}
        users = {}

        def chain(number, by, spec, comment='""'):
            # The projects of a path that are not there yet, made from the top down.
            parent, name = split(spec)
            if spec.lower() in projects:
                return
            chain(number, by, parent)
            projects.add(spec.lower())
            steps.append(f'step({number}, function () {{ project({by}, {js(parent)}, {js(name)}, '
                         f'{comment}); }});')

        def local(name, content):
            nonlocal made
            made += 1
            folder = os.path.join(work, str(made))
            os.makedirs(folder)
            path = os.path.join(folder, name)
            with open(path, 'wb') as f:
                f.write(content)
            return 'Z:' + path.replace('/', '\\')

        for number, raw in enumerate(open(scenario, encoding='utf-8').read().split('\n'), 1):
            text = raw.strip()
            if not text or text.startswith('#'):
                continue
            words = tokens(text, number)
            command, args = words[0].decode(), words[1:]
            options, plain, flags = {}, [], set()
            k = 0
            while k < len(args):
                word = args[k].decode('utf-8', 'replace')
                if word in ('by', 'comment', 'content', 'password', 'into', 'to', 'version') and \
                        k + 1 < len(args):
                    options[word] = args[k + 1]
                    k += 2
                elif word == 'binary':
                    flags.add(word)
                    k += 1
                else:
                    plain.append(args[k])
                    k += 1
            by = js(options.get('by', b'Admin'))
            comment = js(options.get('comment', b''))
            path = plain[0].decode('utf-8') if plain else ''

            def call(body):
                steps.append(f'step({number}, function () {{ {body}; }});')

            if command == 'user':
                password = options.get('password', b'')
                call(f'user({js(plain[0])}, {js(password)})')
                users[plain[0].decode('utf-8')] = password
            elif command == 'project':
                chain(number, by, path.rstrip('/'), comment)
            elif command == 'file':
                parent, name = split(path)
                chain(number, by, parent)
                versions[path.lower()] = 1
                content = options.get('content', f'{path} version 1\n'.encode())
                call(f'add({by}, {js(parent)}, {js(local(name, content))}, {comment}, '
                     f'{"true" if "binary" in flags else "false"})')
            elif command == 'version':
                _, name = split(path)
                versions[path.lower()] = versions.get(path.lower(), 1) + 1
                content = options.get('content',
                                      f'{path} version {versions[path.lower()]}\n'.encode())
                call(f'version({by}, {js(path)}, {js(local(name, content))}, {comment})')
            elif command == 'checkout':
                _, name = split(path)
                call(f'checkout({by}, {js(path)}, {js(local(name, b""))})')
            elif command == 'label':
                call(f'label({by}, {js(path)}, {js(plain[1])}, {comment})')
            elif command == 'share':
                call(f'share({by}, {js(path)}, {js(options["into"])}, {comment})')
            elif command == 'pin':
                call(f'pin({by}, {js(path)}, {js(options["into"])}, '
                     f'{int(options["version"])}, {comment})')
            elif command == 'branch':
                call(f'branch({by}, {js(path)}, {comment})')
            elif command == 'rename':
                call(f'rename({by}, {js(path)}, {js(options["to"])})')
                old = path.rstrip('/').lower()
                new = split(old)[0].rstrip('/') + '/' + options['to'].decode('utf-8').lower()
                projects = {new + p[len(old):] if p == old or p.startswith(old + '/') else p
                            for p in projects}
            elif command == 'move':
                call(f'move({by}, {js(path)}, {js(options["into"])})')
                moved = path.rstrip('/').lower()
                into = options['into'].decode('utf-8').rstrip('/').lower()
                projects = {p if p != moved and not p.startswith(moved + '/')
                            else into + '/' + p.rsplit('/', 1)[1] if p == moved
                            else into + '/' + moved.rsplit('/', 1)[1] + p[len(moved):]
                            for p in projects}
            elif command in ('delete', 'recover', 'destroy'):
                call(f'{"remove" if command == "delete" else command}({by}, {js(path)})')
            elif command == 'wait':
                steps.append(f'pause({float(plain[0].decode())});')
            elif command == 'tick':
                steps.append(f'tick({1 if plain[0] == b"odd" else 0});')
            else:
                raise SystemExit(f'{scenario}: line {number}: unknown command {command}')

        # One script host carries out every step; a step that fails ends it with the scenario's
        # line, and the run counts as done only when its last line says so (Wine's script host
        # ends at an error it does not report, with status 0).
        ini = 'Z:' + os.path.join(os.path.abspath(database), 'srcsafe.ini').replace('/', '\\')
        library = open(os.path.join(HERE, 'make_db.js'), encoding='ascii').read()
        script = os.path.join(work, 'steps.js')
        with open(script, 'w', encoding='ascii') as f:
            f.write(library)
            f.write(''.join(f'passwords[{js(u)}] = {js(p)};\n' for u, p in users.items()))
            f.write('\n'.join(steps) + '\nWScript.Echo("steps done");\n')
        # In a folder of its own: a recovery or a branch also writes the file into the current
        # folder when the project has no working folder.
        run = subprocess.run([wine, host, '//nologo', 'Z:' + script.replace('/', '\\'), ini],
                             stdin=subprocess.DEVNULL, capture_output=True, text=True,
                             errors='replace', cwd=work)
        out = (run.stdout + run.stderr).replace('\r', '').strip().split('\n')
        if run.returncode != 0 or out[-1] != 'steps done':
            raise SystemExit(f'{scenario}: {" ".join(out) or "the script host failed"}')
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
