#!/usr/bin/env python3
"""Writes the seed corpus of the PE version fuzz target: a PE32 program with a
version resource made by windres and ld, its PE32+ form (headers rewritten,
sections kept), and its bare VS_VERSIONINFO block. Run from the repository
root; needs i686-w64-mingw32-windres, cpp and ld."""
import os
import struct
import subprocess
import tempfile

RC = r'''1 VERSIONINFO
FILEVERSION 5,0,4277,1
PRODUCTVERSION 2,1,0,7
FILEOS 0x40004
FILETYPE 3
FILESUBTYPE 2
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904E4"
    BEGIN
      VALUE "CompanyName", "Acme Tools"
      VALUE "FileVersion", "5.0"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1252
  END
END
'''


def to_pe32_plus(b):
    b = bytearray(b)
    pe = struct.unpack_from("<I", b, 0x3C)[0]
    coff, opt = pe + 4, pe + 24
    old_size = struct.unpack_from("<H", b, coff + 16)[0]
    nsec = struct.unpack_from("<H", b, coff + 2)[0]
    nrva = struct.unpack_from("<I", b, opt + 92)[0]
    src = bytes(b)
    struct.pack_into("<H", b, coff, 0x8664)
    struct.pack_into("<H", b, coff + 16, 112 + nrva * 8)
    chars = struct.unpack_from("<H", src, coff + 18)[0]
    struct.pack_into("<H", b, coff + 18, (chars & ~0x100) | 0x20)
    struct.pack_into("<H", b, opt, 0x20B)
    struct.pack_into("<Q", b, opt + 24, 0x140000000)
    b[opt + 32:opt + 72] = src[opt + 32:opt + 72]
    for new, old in ((72, 72), (80, 76), (88, 80), (96, 84)):
        struct.pack_into("<Q", b, opt + new, struct.unpack_from("<I", src, opt + old)[0])
    struct.pack_into("<I", b, opt + 104, struct.unpack_from("<I", src, opt + 88)[0])
    struct.pack_into("<I", b, opt + 108, nrva)
    b[opt + 112:opt + 112 + nrva * 8] = src[opt + 96:opt + 96 + nrva * 8]
    new_sec = opt + 112 + nrva * 8
    b[new_sec:new_sec + nsec * 40] = src[opt + old_size:opt + old_size + nsec * 40]
    return bytes(b)


def main():
    out = os.path.join("fuzz", "corpus", "pe_version")
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as d:
        rc, obj, exe, res = (os.path.join(d, n) for n in ("v.rc", "v.o", "v.exe", "v.res"))
        open(rc, "w").write(RC)
        subprocess.check_call(["i686-w64-mingw32-windres", "--preprocessor=cpp", "-O", "coff",
                               "-o", obj, rc])
        subprocess.check_call(["ld", "-m", "i386pe", "-e", "0", "-o", exe, obj])
        subprocess.check_call(["i686-w64-mingw32-windres", "--preprocessor=cpp", "-O", "res",
                               "-o", res, rc])
        pe32 = open(exe, "rb").read()
        resdata = open(res, "rb").read()
    open(os.path.join(out, "pe32.exe"), "wb").write(pe32)
    open(os.path.join(out, "pe64.exe"), "wb").write(to_pe32_plus(pe32))
    # The .res file holds an empty entry, then the version resource whose
    # data is the VS_VERSIONINFO block.
    pos = 0
    while pos + 8 <= len(resdata):
        data_size, header_size = struct.unpack_from("<II", resdata, pos)
        if data_size and struct.unpack_from("<H", resdata, pos + 8 + 2)[0] == 16:
            start = pos + header_size
            open(os.path.join(out, "block.bin"), "wb").write(resdata[start:start + data_size])
        pos += (header_size + data_size + 3) & ~3


if __name__ == "__main__":
    main()
