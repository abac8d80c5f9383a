#!/usr/bin/env python3
"""Writes a deterministic client folder of 100,000 files of 1 to 8 KiB (about
450 MB) in 500 folders: half text-like and compressible, half random bytes.
   make-small-tree.py FOLDER"""
import os
import random
import sys

WORDS = b"raven corvane chunk the of package client a download verify and file data to is in".split()


def main():
    root = sys.argv[1]
    generator = random.Random(20261207)
    for index in range(100000):
        folder = os.path.join(root, "data", "%03d" % (index % 500))
        if index < 500:
            os.makedirs(folder, exist_ok=True)
        size = generator.randint(1024, 8192)
        if index % 2:
            data = generator.randbytes(size)
        else:
            data = b" ".join(generator.choice(WORDS) for _ in range(size // 4))[:size]
        with open(os.path.join(folder, "f%06d.bin" % index), "wb") as handle:
            handle.write(data)
    os.makedirs(os.path.join(root, "bin"), exist_ok=True)
    with open(os.path.join(root, "bin", "client"), "wb") as handle:
        handle.write(b"#!/bin/sh\nexit 0\n")
    os.chmod(os.path.join(root, "bin", "client"), 0o755)


if __name__ == "__main__":
    main()
