"""Writes a game-like folder of mixed files for the extraction benchmark: many small files,
some medium and a few large ones, part compressible (deflated), part noise (stored).

usage: make_tree.py OUT_DIR [MEGABYTES_OF_ARCHIVE]
"""
import os
import random
import sys


def main():
    out = sys.argv[1]
    target = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    rng = random.Random(20240601)
    # Noise stays its size in the archive; 16-symbol text deflates to about half.
    alphabet = bytes(b"etaoinshrdlu .,\n")
    table = bytes(alphabet[i % 16] for i in range(256))
    budget = target * 1024 * 1024
    written = 0
    index = 0
    sizes = [(2000, 1024, 64 * 1024), (40, 1 << 20, 6 << 20), (4, 16 << 20, 24 << 20)]
    plan = []
    for count, low, high in sizes:
        plan += [rng.randint(low, high) for _ in range(count)]
    rng.shuffle(plan)
    for size in plan:
        noise = rng.random() < 0.4
        archived = size if noise else size // 2
        if written + archived > budget:
            continue
        folder = os.path.join(out, "data%02d" % (index % 23), "sub%d" % (index % 5))
        os.makedirs(folder, exist_ok=True)
        data = os.urandom(size)
        if not noise:
            data = data.translate(table)
        with open(os.path.join(folder, "file%05d.%s" % (index, "bin" if noise else "txt")), "wb") as f:
            f.write(data)
        written += archived
        index += 1


if __name__ == "__main__":
    main()
