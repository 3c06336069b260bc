#!/usr/bin/env python3
"""Writes the seed corpora of the archive and trailer fuzz targets: small
archives made straight from the layout (single-file, empty, multi-volume,
embedded behind a self-extracting trailer). Run from the repository root."""
import os
import struct
import zlib

HEADER = 172


def header(name, size, data_pos, csize, next_pos, file_id=0, version=b"", start_disk=0,
           end_disk=0, end_pos=None, date=45000.5):
    if end_pos is None:
        end_pos = data_pos + csize - 1
    name = name[:100]
    version = version[:20]
    b = struct.pack("<id", 1, date)
    b += struct.pack("<Bxxx", end_disk) + struct.pack("<i", end_pos)
    b += bytes([len(name)]) + name.ljust(100, b"\0") + b"\0" * 3
    b += struct.pack("<iiiiBxxxi", next_pos, size, data_pos, csize, start_disk, file_id)
    b += bytes([len(version)]) + version.ljust(20, b"\0") + b"\0" * 3
    assert len(b) == HEADER
    return b


def single(members):
    out = struct.pack("<iB", len(members), 0)
    for i, (name, content) in enumerate(members):
        stream = zlib.compress(content, 9)
        pos = len(out)
        out += header(name, len(content), pos + HEADER, len(stream), pos + HEADER + len(stream),
                      file_id=i, version=b"1.0.%d" % i)
        out += stream
    return out


def multi_one_disk(members):
    out = struct.pack("<iB", len(members), 1)
    streams = [zlib.compress(c, 9) for _, c in members]
    pos = 5 + HEADER * len(members)
    for i, ((name, content), s) in enumerate(zip(members, streams)):
        out += header(name, len(content), pos, len(s), 5 + HEADER * (i + 1), start_disk=1,
                      end_disk=1)
        pos += len(s)
    return out + b"".join(streams)


def trailer(s1, e1, s2, e2):
    return bytes([14]) + b"SELFEXTRACTING\0" + struct.pack("<iiii", s1, e1, s2, e2) + b"\0" * 24


def main():
    members = [(b"C:\\SRC\\README.TXT", b"hello, world\n" * 20),
               (b"C:\\SRC\\EMPTY.DAT", b""),
               (b"C:\\SRC\\BIN.EXE", bytes(range(256)) * 4)]
    seeds = {
        "empty.1": single([]),
        "three.1": single(members),
        "multi.1": multi_one_disk(members),
    }
    loader = b"MZ" + b"\0" * 200
    setup1 = single(members[:1])
    files1 = single(members[1:])
    exe = loader + setup1 + files1
    exe += trailer(len(loader), len(loader) + len(setup1) - 1, len(loader) + len(setup1),
                   len(exe) - 1)
    seeds["selfextract.exe"] = exe
    exe2 = loader + setup1
    seeds["selfextract_nofiles.exe"] = exe2 + trailer(len(loader), len(exe2) - 1, 0, 0)
    for target in ("archive_header", "trailer"):
        d = os.path.join("fuzz", "corpus", target)
        os.makedirs(d, exist_ok=True)
        for name, data in seeds.items():
            if target == "trailer" and not name.endswith(".exe"):
                continue
            with open(os.path.join(d, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
