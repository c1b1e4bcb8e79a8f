#!/usr/bin/python3
"""Converts the service agreement from its UTF-8 source to the resource bytes.

    to_big5.py SOURCE OUTPUT

The launcher shows the bytes in a multi-line edit control of a code page 950 system, so
lines end with CR LF and the text is Big5; nothing is appended (the launcher adds the zero).
A character without a Big5 form fails the build, naming its line and column.
"""
import os
import sys


def main():
    source, output = sys.argv[1], sys.argv[2]
    with open(source, "rb") as f:
        raw = f.read()
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        sys.exit("%s: not UTF-8 at byte %d" % (source, e.start))
    text = text.lstrip("\ufeff").replace("\r\n", "\n")
    for number, line in enumerate(text.split("\n"), 1):
        for column, char in enumerate(line, 1):
            try:
                char.encode("big5")
                char.encode("cp950")
            except UnicodeEncodeError:
                sys.exit("%s:%d:%d: U+%04X %r has no Big5 form" % (source, number, column, ord(char), char))
    data = text.replace("\n", "\r\n").encode("cp950")
    temporary = output + ".tmp"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, output)


if __name__ == "__main__":
    main()
