#!/usr/bin/env python3
"""Writes the seed corpus of the bound-project fuzz target, straight from the
layout in doc/bound_project.md (so the tests also check that the reader
follows the document). Run from the repository root."""
import os
import struct
import zlib

MAGIC = b"BRWLPROJ"


def trailer(project, version=1):
    head = struct.pack("<QIII", len(project), zlib.crc32(project), version, 0)
    return head + struct.pack("<I", zlib.crc32(head)) + MAGIC


def bound(engine, project):
    return engine + project + trailer(project)


ENGINE = b"\x7fELF" + bytes(range(256)) * 4
PROJECT = b'{"format": "brimwell-project/1",\r\n "components": []}\r\n'

seeds = {
    "bound.bin": bound(ENGINE, PROJECT),
    "empty_project.bin": bound(ENGINE, b""),
    "unbound.bin": ENGINE,
    "trailer_only.bin": trailer(PROJECT),
    "version2.bin": ENGINE + PROJECT + trailer(PROJECT, version=2),
}

out_dir = os.path.join("fuzz", "corpus", "bound_project")
os.makedirs(out_dir, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(out_dir, name), "wb") as f:
        f.write(data)
