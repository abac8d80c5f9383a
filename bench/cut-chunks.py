#!/usr/bin/env python3
"""Cuts every file of a client folder where `corvane-publish chunks` cuts it, for
the install benchmark's baseline, and writes into OUT:
  raw/SHA256  each distinct chunk once
  manifest    FILE OFFSET LENGTH SHA256 per chunk, in file order
  empty       the empty files; folders: every folder that holds a file
   cut-chunks.py CORVANE-PUBLISH FOLDER OUT"""
import concurrent.futures
import os
import subprocess
import sys


def main():
    publish, tree, out = sys.argv[1:]
    files = sorted(os.path.relpath(os.path.join(folder, name), tree)
                   for folder, _, names in os.walk(tree) for name in names)

    def cut(relative):
        lines = subprocess.run([publish, "chunks", os.path.join(tree, relative)], check=True,
                               capture_output=True, text=True).stdout.splitlines()
        return relative, [line.split() for line in lines if line]

    seen = set()
    with open(os.path.join(out, "manifest"), "w") as manifest, open(os.path.join(out, "empty"), "w") as empty, \
            concurrent.futures.ThreadPoolExecutor(2) as pool:
        for relative, chunks in pool.map(cut, files):
            if not chunks:
                empty.write(relative + "\n")
            with open(os.path.join(tree, relative), "rb") as source:
                for offset, length, digest in chunks:
                    manifest.write("%s %s %s %s\n" % (relative, offset, length, digest))
                    if digest in seen:
                        continue
                    seen.add(digest)
                    source.seek(int(offset))
                    with open(os.path.join(out, "raw", digest), "wb") as raw:
                        raw.write(source.read(int(length)))
    with open(os.path.join(out, "folders"), "w") as folders:
        folders.write("".join(sorted({os.path.dirname(f) + "\n" for f in files if os.path.dirname(f)})))


if __name__ == "__main__":
    main()
