#!/usr/bin/env python3
"""Writes a deterministic client folder of about 1 GiB that looks like a game
client to a packer: incompressible media banks, compressible level data and
binaries, thousands of small files, a duplicate and some empty files.
   make-client-tree.py FOLDER"""
import os
import random
import struct
import sys

MIB = 1 << 20


def write(root, relative, data, executable=False):
    path = os.path.join(root, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as handle:
        handle.write(data)
    os.chmod(path, 0o755 if executable else 0o644)


def text(rng, words, size):
    """Lines of words drawn from a small vocabulary: compresses about 3:1."""
    out = []
    total = 0
    while total < size:
        line = " ".join(rng.choices(words, k=12)) + "\n"
        out.append(line)
        total += len(line)
    return "".join(out).encode()[:size]


def records(rng, size):
    """Fixed-layout records with counters and a little noise, like tables in a binary."""
    count = size // 32
    parts = []
    for index in range(0, count, 4096):
        block = min(4096, count - index)
        noise = rng.randbytes(block * 8)
        parts.append(b"".join(struct.pack("<QII8sQ", index + i, (index + i) * 7 % 1000, 0x1000 + i % 64,
                                          noise[i * 8:i * 8 + 8], 0) for i in range(block)))
    return b"".join(parts)[:size].ljust(size, b"\0")


def main():
    root = sys.argv[1]
    rng = random.Random(20240611)
    words = ["".join(rng.choices("abcdefghijklmnopqrstuvwxyz", k=rng.randint(2, 10))) for _ in range(5000)]

    write(root, "bin/client", b"#!/bin/sh\nexec \"$(dirname \"$0\")/client.bin\" \"$@\"\n", True)
    for number in range(4):
        write(root, "bin/lib%d.so" % number, records(rng, 24 * MIB), number == 0)
    for number in range(6):
        write(root, "media/bank%02d.bank" % number, rng.randbytes(64 * MIB))
    for number in range(7):
        write(root, "data/level%02d.pak" % number, text(rng, words, 40 * MIB))
    with open(os.path.join(root, "data/level00.pak"), "rb") as handle:
        write(root, "data/level00-copy.pak", handle.read())
    for number in range(6000):
        size = rng.randint(512, 64 * 1024)
        kind = number % 3
        data = text(rng, words, size) if kind == 0 else records(rng, size) if kind == 1 else rng.randbytes(size)
        write(root, "small/%02d/file%05d.dat" % (number % 50, number), data)
    for number in range(5):
        write(root, "config/empty%d.cfg" % number, b"")


if __name__ == "__main__":
    main()
