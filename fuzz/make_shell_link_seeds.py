#!/usr/bin/env python3
"""Writes the seed corpus of the shell link fuzz target, built here with
struct from the published layout rather than by our own writer: a link with
an item-ID list, one with link info and Unicode strings, one with ANSI
strings and a network link, and one with extra-data blocks. Run from the
repository root."""
import os
import struct

CLSID = bytes([0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46])
OUT = 'fuzz/corpus/shell_link'


def header(flags, hot_key=0, size=0):
    h = struct.pack('<I', 0x4C) + CLSID + struct.pack('<II', flags, 0x20) + b'\0' * 24
    h += struct.pack('<IiIHHII', size, 0, 1, hot_key, 0, 0, 0)
    assert len(h) == 76
    return h


def strings(unicode, *texts):
    out = b''
    for t in texts:
        data = t.encode('utf-16-le') if unicode else t.encode('cp1252')
        out += struct.pack('<H', len(t)) + data
    return out


def link_info(path, unicode_path=True):
    volume = struct.pack('<IIII', 0x11, 3, 0x1234ABCD, 0x10) + b'\0'
    header_size = 0x24 if unicode_path else 0x1C
    ansi = path.encode('cp1252') + b'\0'
    suffix = b'\0'
    vol_at = header_size
    path_at = vol_at + len(volume)
    suffix_at = path_at + len(ansi)
    body = volume + ansi + suffix
    fields = [vol_at, path_at, 0, suffix_at]
    if unicode_path:
        u_at = header_size + len(body)
        u = path.encode('utf-16-le') + b'\0\0'
        us_at = u_at + len(u)
        body += u + b'\0\0'
        fields += [u_at, us_at]
    size = header_size + len(body)
    return struct.pack('<III', size, header_size, 1) + struct.pack('<' + 'I' * len(fields), *fields) + body


def network_info(share, suffix):
    net = struct.pack('<IIIII', 0x14 + len(share) + 1, 2, 0x14, 0, 0x00020000) + share.encode() + b'\0'
    size = 0x1C + len(net) + len(suffix) + 1
    return struct.pack('<IIIIIII', size, 0x1C, 2, 0, 0, 0x1C, 0x1C + len(net)) + net + suffix.encode() + b'\0'


def id_list():
    my_computer = struct.pack('<HBB', 20, 0x1F, 0x50) + bytes.fromhex('e04fd020ea3a6910a2d808002b30309d')
    drive = struct.pack('<HB', 25, 0x2F) + b'C:\\' + b'\0' * 19
    items = my_computer + drive + b'\0\0'
    return struct.pack('<H', len(items)) + items


def main():
    os.makedirs(OUT, exist_ok=True)
    seeds = {
        'id_list.lnk': header(0x01 | 0x02 | 0x80 | 0x10, 0x0654) + id_list() + link_info('C:\\test\\a.txt')
        + strings(True, 'C:\\test') + b'\0' * 4,
        'unicode.lnk': header(0x02 | 0x08 | 0x10 | 0x20 | 0x80, 0x0270, 12) + link_info('C:\\Program Files\\Tool\\tool.exe')
        + strings(True, '..\\Tool\\tool.exe', 'C:\\Program Files\\Tool', '/open "a b.txt"') + b'\0' * 4,
        'ansi_network.lnk': header(0x02 | 0x04 | 0x20) + network_info('\\\\server\\share', 'dir\\tool.exe')
        + strings(False, 'A tool', '-x') + b'\0' * 4,
        'extra_data.lnk': header(0x02 | 0x80) + link_info('C:\\a.exe', False)
        + struct.pack('<II', 16, 0xA0000005) + b'\0' * 8 + b'\0' * 4,
        'no_terminal.lnk': header(0x08 | 0x80) + strings(True, 'notepad.exe'),
    }
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
