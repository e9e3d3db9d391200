#!/usr/bin/python3
"""Checks the user's guides of an unpacked package as a browser on a Windows without a network
would open them: each page is UTF-8 and says so in its first 1024 bytes, names no script, and
every picture and link it names is a file inside the package folder or a place in a page there.
Prints one "FAILED: ..." line per fault and "ok: PAGE" per good page; exit status 1 on a fault.

Usage: check_html.py PACKAGE_FOLDER PAGE...
"""
import os
import re
import sys
from html.parser import HTMLParser
from urllib.parse import unquote, urlsplit


class Page(HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids = set()
        self.targets = []  # (what, address)
        self.scripts = 0

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.ids.add(attrs["id"])
        if tag == "a" and "name" in attrs:
            self.ids.add(attrs["name"])
        if tag == "script":
            self.scripts += 1
        for attr in ("src", "href", "data", "poster", "background"):
            if attrs.get(attr) is not None:
                self.targets.append((f"{tag} {attr}", attrs[attr]))


def read_page(path):
    with open(path, "rb") as f:
        raw = f.read()
    text = raw.decode("utf-8")  # raises on a byte that is not UTF-8
    parser = Page()
    parser.feed(text)
    return raw, parser


def check(folder, names):
    faults = []
    folder = os.path.realpath(folder)
    pages = {}
    for name in names:
        try:
            pages[name] = read_page(os.path.join(folder, name))
        except (OSError, UnicodeDecodeError) as e:
            faults.append(f"{name}: cannot be read as UTF-8: {e}")
    for name, (raw, page) in pages.items():
        own = []
        if not re.search(rb'<meta\s+charset="?utf-8"?\s*/?>', raw[:1024], re.I):
            own.append("no <meta charset=\"utf-8\"> in its first 1024 bytes")
        if page.scripts:
            own.append(f"{page.scripts} script(s)")
        for what, address in page.targets:
            parts = urlsplit(address)
            if parts.scheme or parts.netloc or address.startswith("/") or "\\" in address:
                own.append(f"{what} leads outside the package: {address}")
                continue
            target = name if not parts.path else unquote(parts.path)
            path = os.path.realpath(os.path.join(folder, os.path.dirname(name), target))
            if os.path.commonpath([folder, path]) != folder:
                own.append(f"{what} leads outside the package: {address}")
            elif not os.path.isfile(path):
                own.append(f"{what} names a file the package does not hold: {address}")
            elif parts.fragment:
                linked = os.path.relpath(path, folder)
                ids = pages[linked][1].ids if linked in pages else None
                if ids is None or unquote(parts.fragment) not in ids:
                    own.append(f"{what} names a place its page does not have: {address}")
        if not any(what == "img src" for what, _ in page.targets):
            own.append("shows no picture")
        faults += [f"{name}: {fault}" for fault in own]
        if not own:
            print(f"ok: {name}")
    for fault in faults:
        print(f"FAILED: {fault}")
    return not faults


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    sys.exit(0 if check(sys.argv[1], sys.argv[2:]) else 1)
