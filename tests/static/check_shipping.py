#!/usr/bin/python3
"""Checks the shipping programs of a build without running them.

    check_shipping.py BIN_DIR REPORT.xml [--machine i386|amd64]

On a host that cannot execute 32-bit programs this is all that is known of the win32 build,
so it reads what Windows would read when it loads them: the headers, the resources and the
import tables. Each check is one test case of a JUnit report in GoogleTest's layout, which
scripts/test counts like the others; the exit code is 1 when any check failed.
"""
import os
import sys
import xml.etree.ElementTree as ET

import pefile

MACHINES = {"i386": (0x14C, 0x10B), "amd64": (0x8664, 0x20B)}  # file header machine, optional magic
SUBSYSTEM_GUI = 2
LANG_ZH_TW = 1028
PROGRAMS = ("Talvenor.exe", "renamer.exe", "talvremover.exe")

# What a clean Windows installation has. A compiler runtime (libgcc_s_*, libstdc++-6,
# libwinpthread-1) or anything else would have to ship beside the program, and does not.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "crypt32.dll", "gdi32.dll", "imm32.dll",
    "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "uxtheme.dll", "version.dll", "wininet.dll", "winmm.dll", "ws2_32.dll",
    "bcrypt.dll", "ntdll.dll", "userenv.dll", "urlmon.dll",
}


class Checks:
    def __init__(self):
        self.cases = []  # (name, failure message or None)

    def run(self, name, fn):
        try:
            problem = fn()
        except Exception as e:  # a program that cannot be parsed fails its check, not the run
            problem = "%s: %s" % (type(e).__name__, e)
        self.cases.append((name, problem))
        print("%s %s%s" % ("FAIL" if problem else "ok  ", name, ": " + problem if problem else ""))

    def write(self, path):
        suite = ET.Element("testsuite", name="ShippingBuild", tests=str(len(self.cases)),
                           failures=str(sum(1 for _, p in self.cases if p)))
        for name, problem in self.cases:
            case = ET.SubElement(suite, "testcase", name=name, classname="ShippingBuild",
                                 status="run", result="completed")
            if problem:
                ET.SubElement(case, "failure", message=problem)
        root = ET.Element("testsuites")
        root.append(suite)
        ET.ElementTree(root).write(path, encoding="utf-8", xml_declaration=True)


def resources(pe):
    """{(type, id): [(lang, bytes)]} with names as strings and ids as ints."""
    out = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return out
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        tkey = str(t.name) if t.name is not None else t.id
        for r in t.directory.entries:
            rkey = str(r.name) if r.name is not None else r.id
            for lang in r.directory.entries:
                d = lang.data.struct
                blob = pe.get_data(d.OffsetToData, d.Size)
                out.setdefault((tkey, rkey), []).append((lang.id, blob))
    return out


def main():
    bin_dir, report = sys.argv[1], sys.argv[2]
    arch = sys.argv[4] if len(sys.argv) > 4 and sys.argv[3] == "--machine" else "i386"
    machine, magic = MACHINES[arch]
    checks = Checks()
    pes = {}

    def load(name):
        if name not in pes:
            pes[name] = pefile.PE(os.path.join(bin_dir, name))
        return pes[name]

    for prog in PROGRAMS:
        def header(prog=prog):
            pe = load(prog)
            got = (pe.FILE_HEADER.Machine, pe.OPTIONAL_HEADER.Magic, pe.OPTIONAL_HEADER.Subsystem)
            want = (machine, magic, SUBSYSTEM_GUI)
            if got != want:
                return "machine, optional header magic, subsystem are %s, want %s" % (
                    tuple(hex(v) for v in got), tuple(hex(v) for v in want))
            return None

        def imports(prog=prog):
            pe = load(prog)
            dlls = sorted({e.dll.decode("ascii", "replace").lower()
                           for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])})
            if not dlls:
                return "no import table"
            extra = [d for d in dlls if d not in SYSTEM_DLLS and not d.startswith("api-ms-win-")]
            return "imports libraries Windows does not have: " + ", ".join(extra) if extra else None

        checks.run("%s.IsA%sGuiProgram" % (prog, "PE32" if arch == "i386" else "PE32Plus"), header)
        checks.run("%s.ImportsOnlySystemLibraries" % prog, imports)

    def string_table():
        res = resources(load("Talvenor.exe"))
        langs = {lang for (t, _), entries in res.items() if t == 6 for lang, _ in entries}
        if not langs:
            return "no string table"
        return None if langs == {LANG_ZH_TW} else "string table languages %s, want only %d" % (sorted(langs), LANG_ZH_TW)

    def companions():
        res = resources(load("Talvenor.exe"))
        problems = []
        for rid, prog in ((115, "renamer.exe"), (116, "talvremover.exe")):
            entries = res.get(("BIN", rid), [])
            with open(os.path.join(bin_dir, prog), "rb") as f:
                want = f.read()
            if len(entries) != 1:
                problems.append("BIN %d: %d entries" % (rid, len(entries)))
            elif entries[0][1] != want:
                problems.append("BIN %d differs from %s (%d bytes, want %d)" % (rid, prog, len(entries[0][1]), len(want)))
        return "; ".join(problems) or None

    def manifest():
        entries = resources(load("Talvenor.exe")).get((24, 1), [])
        if len(entries) != 1:
            return "%d manifests with id 1" % len(entries)
        doc = ET.fromstring(entries[0][1])
        levels = [e.get("level") for e in doc.iter() if e.tag.endswith("}requestedExecutionLevel")]
        return None if levels == ["requireAdministrator"] else "requested execution levels %s" % levels

    def no_kill_hook(prog, killable, marker):
        # The kill tests' programs end themselves when their variable names a change; only
        # those builds may carry its name. A marker missing from the test build as well would
        # prove nothing.
        def check():
            with open(os.path.join(bin_dir, prog), "rb") as f:
                if marker in f.read():
                    return "carries the kill hook of the test build"
            path = os.path.join(bin_dir, killable)
            if os.path.exists(path):
                with open(path, "rb") as f:
                    if marker not in f.read():
                        return "the marker is not in %s either: the check proves nothing" % killable
            return None
        return check

    def embedded_renamer_of_killable():
        # The kill tests' launcher must hand over to the renamer that can be killed too.
        path = os.path.join(bin_dir, "Talvenor_killable.exe")
        if not os.path.exists(path):
            return None
        entries = resources(load("Talvenor_killable.exe")).get(("BIN", 115), [])
        with open(os.path.join(bin_dir, "renamer_killable.exe"), "rb") as f:
            want = f.read()
        if len(entries) != 1 or entries[0][1] != want:
            return "Talvenor_killable.exe does not embed renamer_killable.exe as BIN 115"
        return None

    checks.run("Talvenor.exe.StringTableIsTraditionalChinese", string_table)
    checks.run("Talvenor.exe.HasNoKillHook", no_kill_hook("Talvenor.exe", "Talvenor_killable.exe", b"TALV_KILL_AT_CHANGE"))
    # Talvenor.exe embeds renamer.exe: neither may carry the renamer's hook.
    for prog in ("renamer.exe", "Talvenor.exe"):
        checks.run("%s.HasNoRenamerKillHook" % prog,
                   no_kill_hook(prog, "renamer_killable.exe", b"TALV_KILL_RENAMER_AT_CHANGE"))
    checks.run("Talvenor_killable.exe.EmbedsTheKillableRenamer", embedded_renamer_of_killable)
    checks.run("Talvenor.exe.EmbedsTheCompanionsByteForByte", companions)
    checks.run("Talvenor.exe.ManifestRequiresAdministrator", manifest)
    checks.write(report)
    return 1 if any(p for _, p in checks.cases) else 0


if __name__ == "__main__":
    sys.exit(main())
