#!/usr/bin/python3
"""Fails on a resource named by its number instead of its name in launcher/resources/resource_ids.h.

    check_resource_ids.py SOURCE_DIR

Reads the program code under launcher/, renamer/, remover/ and tools/ and the resource
scripts (the .rc files and the resource lines that launcher/resources/CMakeLists.txt
writes), and prints one "file:line: text" for each place that names a string, template,
control, bitmap, icon or BIN resource by a bare number. The exit code is 1 when there is
one. resource_ids.h itself holds the numbers.
"""
import os
import re
import sys

CODE_DIRS = ("launcher", "renamer", "remover", "tools")
NUMBER = r"-?(?:0[xX][0-9a-fA-F]+|\d+)"
ARG = r"[^,()]*(?:\([^()]*\)[^,()]*)*"  # one argument, allowing one level of parentheses

# Calls whose resource argument must be a name, by the argument's place.
CODE_PATTERNS = [
    re.compile(r"\bShowMessage\(\s*" + ARG + r",\s*" + NUMBER + r"\s*[,)]"),
    re.compile(r"\bGetString\(\s*" + ARG + r",\s*" + ARG + r",\s*" + NUMBER + r"\s*\)"),
    re.compile(r"\b(?:GetDlgItem|SetDlgItemText[AW]?|GetDlgItemText[AW]?|SendDlgItemMessage[AW]?|CheckDlgButton|"
               r"FindItem|SetItemText|GetItemText|EnableItem|ShowItem)\(\s*" + ARG + r",\s*" + NUMBER + r"\s*[,)]"),
    re.compile(r"\bCreateDialog\(\s*" + NUMBER + r"\s*\)"),
    re.compile(r"\bMAKEINTRESOURCE[AW]?\(\s*" + NUMBER + r"\s*\)"),
    re.compile(r"\b(?:LoadBinResource|LoadBitmap)\(\s*" + NUMBER + r"\s*[,)]"),
    re.compile(r"\b(?:CDialog|CDlgLauncher)\(\s*" + NUMBER + r"\s*,"),
    re.compile(r"\bMAKEWPARAM\(\s*" + NUMBER + r"\s*,"),
    # A local copy of an id under a name of its own, and a control answered by its number.
    re.compile(r"\bconstexpr\s+(?:int|UINT|WORD)\s+k\w*(?:Id|Button|Template|Control|Edit|Label|Item|Text|Icon|"
               r"Bitmap|Resource|Message|Screen|Dialog|Folder|Link|Page)\s*=\s*" + NUMBER + r"\s*;"),
    re.compile(r"\bcase\s+1\d{3}\s*:"),
]

RC_TYPES = r"(?:DIALOGEX|DIALOG|BITMAP|ICON|BIN|RT_MANIFEST|RCDATA|CURSOR|MENU|ACCELERATORS)"
RC_PATTERNS = [
    re.compile(r"^\s*" + NUMBER + r"\s+" + RC_TYPES + r"\b"),  # a resource defined by number
    re.compile(r"^\s*(?:CONTROL|LTEXT|RTEXT|CTEXT|PUSHBUTTON|DEFPUSHBUTTON|GROUPBOX|ICON)\s+"
               r"(?:\"(?:[^\"\\]|\\.)*\"|\w+(?:\([^()]*\))?)\s*,\s*" + NUMBER + r"\s*,"),  # a control by number
    re.compile(r"^\s*(?:EDITTEXT|LISTBOX|COMBOBOX|SCROLLBAR)\s+" + NUMBER + r"\s*,"),
    re.compile(r"\"#\d+\""),  # a bitmap or icon text given as "#number"
]
STRING_ENTRY = re.compile(r"^\s*" + NUMBER + r"\s*,")
GENERATED_RC = re.compile(r"CONTENT\s.*\"\s*" + NUMBER + r"\s+" + RC_TYPES + r"\b|\\n" + NUMBER + r"\s+" + RC_TYPES + r"\b")


def strip_comment(line):
    """The line without a // comment (outside string literals)."""
    out, quoted, i = [], False, 0
    while i < len(line):
        c = line[i]
        if c == "\\" and quoted:
            out.append(line[i:i + 2])
            i += 2
            continue
        if c == '"':
            quoted = not quoted
        elif not quoted and line.startswith("//", i):
            break
        out.append(c)
        i += 1
    return "".join(out)


def check_code(path, rel, problems):
    with open(path, encoding="utf-8", errors="replace") as f:
        for n, line in enumerate(f, 1):
            text = strip_comment(line)
            if any(p.search(text) for p in CODE_PATTERNS):
                problems.append("%s:%d: %s" % (rel, n, line.strip()))


def check_rc(path, rel, problems):
    in_strings = False
    with open(path, encoding="utf-8", errors="replace") as f:
        for n, line in enumerate(f, 1):
            text = strip_comment(line)
            word = text.strip()
            if word == "STRINGTABLE":
                in_strings = True
            elif in_strings and word == "END":
                in_strings = False
            bad = any(p.search(text) for p in RC_PATTERNS) or (in_strings and STRING_ENTRY.search(text))
            if bad:
                problems.append("%s:%d: %s" % (rel, n, line.strip()))


def check_generated_rc(path, rel, problems):
    with open(path, encoding="utf-8", errors="replace") as f:
        for n, line in enumerate(f, 1):
            if not line.lstrip().startswith("#") and GENERATED_RC.search(line):
                problems.append("%s:%d: %s" % (rel, n, line.strip()))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    root = sys.argv[1]
    problems = []
    for top in CODE_DIRS:
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, root)
                if name == "resource_ids.h":
                    continue
                if name.endswith((".cpp", ".h")):
                    check_code(path, rel, problems)
                elif name.endswith(".rc"):
                    check_rc(path, rel, problems)
                elif name == "CMakeLists.txt":
                    check_generated_rc(path, rel, problems)
    for p in problems:
        print(p)
    if problems:
        print("%d resource ids given as numbers; name them in launcher/resources/resource_ids.h" % len(problems))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
