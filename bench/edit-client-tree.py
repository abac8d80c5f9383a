#!/usr/bin/env python3
"""Turns a copy of the folder make-client-tree.py writes into the next version of
the client, as an update would bring it: a big file shifted by a few bytes at the
front, one edited inside, one touched, small files changed, removed and added, a
big file removed and one added. Files are replaced, never written in place, so the
copy may share the first version's files through hard links.
   edit-client-tree.py FOLDER"""
import os
import random
import sys

MIB = 1 << 20


def main():
    root = sys.argv[1]
    rng = random.Random(2)

    def path(relative):
        return os.path.join(root, relative)

    def read(relative):
        with open(path(relative), "rb") as handle:
            return handle.read()

    def rewrite(relative, data):
        # A new inode: a hard link to the first version stays untouched.
        os.makedirs(os.path.dirname(path(relative)), exist_ok=True)
        with open(path(relative) + ".new", "wb") as handle:
            handle.write(data)
        os.replace(path(relative) + ".new", path(relative))

    rewrite("media/bank00.bank", b"v2 hdr" + read("media/bank00.bank"))
    level = bytearray(read("data/level02.pak"))
    level[17 * MIB:17 * MIB + 4096] = rng.randbytes(4096)
    level[29 * MIB:29 * MIB] = rng.randbytes(3000)
    rewrite("data/level02.pak", bytes(level))
    library = bytearray(read("bin/lib1.so"))
    library[5 * MIB:5 * MIB + 64] = rng.randbytes(64)
    rewrite("bin/lib1.so", bytes(library))
    for number in range(0, 6000, 150):
        relative = "small/%02d/file%05d.dat" % (number % 50, number)
        rewrite(relative, read(relative)[:-100] + rng.randbytes(300))
    for number in range(75, 6000, 100):
        os.remove(path("small/%02d/file%05d.dat" % (number % 50, number)))
    for number in range(50):
        rewrite("small/new/added%02d.dat" % number, rng.randbytes(rng.randint(512, 64 * 1024)))
    rewrite("config/empty0.cfg", b"windowed=1\n")
    os.remove(path("media/bank05.bank"))
    rewrite("media/bank06.bank", rng.randbytes(12 * MIB))


if __name__ == "__main__":
    main()
