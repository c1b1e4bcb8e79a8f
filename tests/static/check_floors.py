#!/usr/bin/python3
"""Checks that every source file includes only its own floor and the floors below it.

    check_floors.py [--root DIR]

Reads each #include "..." under launcher/, renamer/, remover/ and tools/ of the tree at DIR
(the repository by default) and prints one line FILE:LINE for each that reaches up a floor;
the exit code is 1 when there is one. Includes that name no file of the tree (the generated
build settings, the resource scripts a build writes) belong to no floor and are not checked.
"""
import argparse
import os
import re
import sys

# Lowest first. A file may include its own floor and every floor before it.
FLOORS = [
    ("core", ["launcher/core/", "launcher/resources/"]),
    ("storage and transfer", ["launcher/storage/", "launcher/transfer/"]),
    ("ui", ["launcher/ui/"]),
    ("patch", ["launcher/patch/"]),
    ("install", ["launcher/install/"]),
    ("app", ["launcher/app/"]),
    ("main", ["launcher/main_win.cpp"]),
]
# The companion programs and the publisher's tool stand on the patch floor beside the
# launcher's own programs: they use the floors up to patch and one another, never install,
# app or the launcher's main, and no floor of the launcher uses them.
PROGRAMS = ("programs", ["renamer/", "remover/", "tools/"], "patch")

SCANNED = ("launcher/", "renamer/", "remover/", "tools/")
SOURCES = (".h", ".hpp", ".c", ".cpp", ".rc", ".inc")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def floor_of(path):
    """(name, rank) of a tree-relative path, or None when it lies on no floor."""
    for rank, (name, prefixes) in enumerate(FLOORS):
        if any(path == p or path.startswith(p) for p in prefixes):
            return name, rank
    if any(path.startswith(p) for p in PROGRAMS[1]):
        return PROGRAMS[0], None
    return None


def may_include(source, target):
    s, t = floor_of(source), floor_of(target)
    if s is None or t is None:
        return True
    if s[0] == t[0]:
        return True
    if t[0] == PROGRAMS[0]:
        return False  # no launcher floor stands on the programs
    if s[0] == PROGRAMS[0]:
        top = [n for n, _ in FLOORS].index(PROGRAMS[2])
        return t[1] <= top
    return t[1] < s[1]


def resolve(root, source, name):
    """The tree-relative path an include names, or None for a file outside the tree."""
    for base in (os.path.dirname(source), ""):
        candidate = os.path.normpath(os.path.join(base, name)).replace(os.sep, "/")
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate
    return None


def check(root):
    problems = []
    for top in SCANNED:
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            for f in sorted(files):
                if not f.endswith(SOURCES):
                    continue
                source = os.path.relpath(os.path.join(folder, f), root).replace(os.sep, "/")
                with open(os.path.join(root, source), encoding="utf-8", errors="replace") as fh:
                    for number, line in enumerate(fh, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = resolve(root, source, m.group(1))
                        if target and not may_include(source, target):
                            problems.append("%s:%d: includes %s: %s reaches up to %s" % (
                                source, number, target, floor_of(source)[0], floor_of(target)[0]))
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    args = parser.parse_args()
    problems = check(os.path.abspath(args.root))
    for p in problems:
        print(p)
    print("%d upward include%s" % (len(problems), "" if len(problems) == 1 else "s"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
