#!/usr/bin/python3
"""check_floors.py on small trees: what each floor may include passes, and each include
that reaches up fails with its file and line named.

    check_floors_test.py CHECK_FLOORS.py
"""
import os
import subprocess
import sys
import tempfile

# Files of a tree whose includes all keep the floors.
LEGAL = {
    "launcher/core/text.h": "#pragma once\n",
    "launcher/resources/resource_ids.h": "#pragma once\n",
    "launcher/core/paths.cpp": '#include "launcher/core/text.h"\n#include "launcher/resources/resource_ids.h"\n',
    "launcher/storage/zip.h": '#include "launcher/core/text.h"\n',
    "launcher/transfer/md5.h": '#include "launcher/storage/zip.h"\n',
    "launcher/ui/panel.h": '#include "launcher/transfer/md5.h"\n',
    "launcher/patch/worker.h": '#include "launcher/ui/panel.h"\n#include "build_settings.h"\n',
    "launcher/install/helper.h": '#include "launcher/patch/worker.h"\n',
    "launcher/app/app.h": '#include "launcher/install/helper.h"\n',
    "launcher/main_win.cpp": '#include "launcher/app/app.h"\n',
    "remover/self_delete.h": '#include "launcher/core/text.h"\n',
    "renamer/main_win.cpp": '#include "remover/self_delete.h"\n#include "launcher/patch/worker.h"\n',
    "tools/talvpack/main.cpp": '#include "launcher/patch/worker.h"\n#include "launcher/storage/zip.h"\n',
}

# (file, text planted in it, the line the checker must name)
PLANTED = [
    ("launcher/ui/panel.h", '#include "launcher/transfer/md5.h"\n\n#include "launcher/patch/worker.h"\n', 3),
    ("launcher/core/paths.cpp", '#include "launcher/storage/zip.h"\n', 1),
    ("launcher/storage/zip.h", '#include "launcher/ui/panel.h"\n', 1),
    ("launcher/patch/worker.h", '// the launcher\n  #  include "launcher/install/helper.h"\n', 2),
    ("launcher/install/helper.h", '#include "launcher/app/app.h"\n', 1),
    ("launcher/app/app.h", '#include "launcher/main_win.cpp"\n', 1),
    ("launcher/app/app.h", '#include "../../remover/self_delete.h"\n', 1),
    ("launcher/patch/worker.h", '#include "renamer/main_win.cpp"\n', 1),
    ("renamer/main_win.cpp", '#include "launcher/install/helper.h"\n', 1),
    ("tools/talvpack/main.cpp", '#include "launcher/app/app.h"\n', 1),
]


def run(checker, files):
    with tempfile.TemporaryDirectory() as root:
        for name, text in files.items():
            path = os.path.join(root, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(text)
        p = subprocess.run([sys.executable, checker, "--root", root], capture_output=True, text=True)
        return p.returncode, p.stdout


def main():
    checker = sys.argv[1]
    failures = 0
    code, out = run(checker, LEGAL)
    if code != 0:
        print("FAIL a tree that keeps its floors: exit %d\n%s" % (code, out))
        failures += 1
    for name, text, line in PLANTED:
        files = dict(LEGAL)
        files[name] = text
        code, out = run(checker, files)
        where = "%s:%d:" % (name, line)
        named = [l for l in out.splitlines() if l.startswith(where)]
        if code != 1 or len(named) != 1 or "1 upward include" not in out:
            print("FAIL %s planted %r: exit %d\n%s" % (where, text, code, out))
            failures += 1
        else:
            print("ok   %s" % named[0])
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
