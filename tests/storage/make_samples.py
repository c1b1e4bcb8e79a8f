"""Writes the sample archives the storage tests read, with Python's zipfile, and beside them
the files they hold (expected/) for comparison. Optionally copies the archives into a
fuzzing corpus folder as seeds.

usage: make_samples.py OUT_DIR [CORPUS_DIR]
"""
import io
import os
import shutil
import sys
import zipfile

STAMP = (2021, 3, 4, 5, 6, 8)  # a DOS time: even seconds


def deflatable(n):
    return bytes((i * 7 + i // 13) % 251 for i in range(n))


def noise(n, seed=12345):
    out = bytearray()
    x = seed
    for _ in range(n):
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out.append((x >> 16) & 0xFF)
    return bytes(out)


class Unseekable(io.RawIOBase):
    """A write-only stream without seek: zipfile then writes data descriptors."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def entry(name, method=zipfile.ZIP_STORED):
    info = zipfile.ZipInfo(name, STAMP)
    info.compress_type = method
    return info


def main():
    out = sys.argv[1]
    shutil.rmtree(out, ignore_errors=True)
    expected = os.path.join(out, "expected")
    os.makedirs(expected)

    contents = {
        "stored.txt": b"stored as it is\r\n",
        "dir/deflated.bin": deflatable(50000),
        "dir/stored_noise.bin": noise(10000),
        "bzip2.txt": b"bzip2 is not for this reader\n" * 20,
        "empty.txt": b"",
    }
    for name, data in contents.items():
        path = os.path.join(expected, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    with zipfile.ZipFile(os.path.join(out, "mixed.zip"), "w") as z:
        z.writestr(entry("stored.txt"), contents["stored.txt"])
        z.writestr(entry("dir/"), b"")
        z.writestr(entry("dir/deflated.bin", zipfile.ZIP_DEFLATED), contents["dir/deflated.bin"])
        z.writestr(entry("dir/stored_noise.bin"), contents["dir/stored_noise.bin"])
        z.writestr(entry("bzip2.txt", zipfile.ZIP_BZIP2), contents["bzip2.txt"])
        z.writestr(entry("empty.txt"), b"")
        z.comment = b"Talvenor patch archive, comment behind the directory"

    stream = Unseekable()
    with zipfile.ZipFile(stream, "w") as z:
        z.writestr(entry("streamed.bin", zipfile.ZIP_DEFLATED), contents["dir/deflated.bin"])
        z.writestr(entry("streamed_stored.txt"), contents["stored.txt"])
        z.writestr(entry("streamed_empty.txt"), b"")
    with open(os.path.join(out, "descriptor.zip"), "wb") as f:
        f.write(stream.data)

    with zipfile.ZipFile(os.path.join(out, "zip64.zip"), "w") as z:
        with z.open(entry("big64.bin", zipfile.ZIP_DEFLATED), "w", force_zip64=True) as f:
            f.write(contents["dir/deflated.bin"])
        with z.open(entry("stored64.txt"), "w", force_zip64=True) as f:
            f.write(contents["stored.txt"])

    # zipfile puts the ZIP64 record into the local extra field but keeps the 32-bit sizes
    # while they fit; above 4 GiB they read 0xFFFFFFFF. Make these small entries look so.
    path = os.path.join(out, "zip64.zip")
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        with zipfile.ZipFile(path) as z:
            for info in z.infolist():
                at = info.header_offset
                assert data[at:at + 4] == b"PK\x03\x04" and data[at + 28] == 20
                data[at + 18:at + 26] = b"\xff" * 8
        f.seek(0)
        f.write(data)

    with zipfile.ZipFile(os.path.join(out, "empty.zip"), "w"):
        pass  # 22 bytes: only the end record

    with zipfile.ZipFile(os.path.join(out, "unsafe.zip"), "w") as z:
        for name in ["../evil.txt", "/abs.txt", "\\back_abs.txt", "C:/drive.txt", "a/../../up.txt",
                     "a\\..\\..\\up_back.txt", "sub/.. /dots.txt", "file.txt:stream", "sub/./dot.txt", "ok/fine.txt"]:
            z.writestr(entry(name), b"outside?")

    with zipfile.ZipFile(os.path.join(out, "odd.zip"), "w") as z:
        long_extra = entry("long_extra.txt")
        long_extra.extra = b"\x99\x99\x14\x00" + b"x" * 20  # 24 bytes, more than a ZIP64 record
        z.writestr(long_extra, b"data behind a long extra field")
        z.writestr(entry("n" * 300), b"long name")
        z.writestr(entry("Case/Name.txt"), b"exact names")

    # Folder entries as zipfile writes them in a deflating archive: the empty data deflated
    # to two bytes. The second is a folder only by its "\\", which zipfile does not know.
    with zipfile.ZipFile(os.path.join(out, "folders.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("emptydir/", b"")
        z.writestr("back\\slash\\", b"")
        z.writestr("emptydir/inside.txt", b"inside the folder")
        z.writestr("top.txt", b"top level")

    # Entries that read to the end but are not what the directory says: a stored entry with
    # one byte changed (its checksum fails), and a deflated one whose sizes claim a byte more
    # than its data holds (its checksum is never reached).
    with zipfile.ZipFile(os.path.join(out, "corrupt.zip"), "w") as z:
        z.writestr(entry("good.txt"), b"intact")
        z.writestr(entry("damaged.txt"), b"payload to damage")
    with zipfile.ZipFile(os.path.join(out, "short.zip"), "w") as z:
        z.writestr(entry("good.txt"), b"intact")
        z.writestr(entry("short.bin", zipfile.ZIP_DEFLATED), contents["dir/deflated.bin"])
    for name, change in (("corrupt.zip", "damaged"), ("short.zip", "grown")):
        path = os.path.join(out, name)
        with open(path, "r+b") as f:
            data = bytearray(f.read())
            if change == "damaged":
                at = data.index(b"payload to damage")
                data[at] ^= 0x20
            else:
                with zipfile.ZipFile(path) as z:
                    info = z.getinfo("short.bin")
                    local = info.header_offset
                size = len(contents["dir/deflated.bin"]) + 1
                central = data.rindex(b"short.bin") - 46  # the name's last copy is the directory's
                for at in (local + 22, central + 24):
                    data[at:at + 4] = size.to_bytes(4, "little")
            f.seek(0)
            f.write(data)

    if len(sys.argv) > 2:
        corpus = sys.argv[2]
        os.makedirs(corpus, exist_ok=True)
        for name in os.listdir(out):
            if name.endswith(".zip"):
                shutil.copy(os.path.join(out, name), os.path.join(corpus, "seed_" + name))


if __name__ == "__main__":
    main()
