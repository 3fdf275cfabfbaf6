#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/TARGET/.

Every seed is made here, by hand or with Python's own tarfile and gzip
modules; run it again after changing a target's input form:

    python3 fuzz/make_seeds.py
"""
import gzip
import io
import os
import struct
import tarfile

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def config4(type_word, count, number, serial=412345, high=0x01DB0000, low=0x12345678):
    return (b"HEADBYTES!" + struct.pack("<HBBIII", type_word, count, number, serial, high, low)
            + b"\0" * 6)


# config4_read: the SVP's record, then a medium's.
own = config4(0x8360, 0, 0)
put("config4_read", "own-only", own)
put("config4_read", "short", own[:11])
put("config4_read", "empty", b"")
put("config4_read", "backup-volume-2", own + config4(0x8360, 3, 1))
put("config4_read", "key-code-medium", own + config4(0x8360, 0xFF, 0))
put("config4_read", "software-medium", own + config4(0xFFFF, 1, 0, serial=400001))
put("config4_read", "medium-short", own + config4(0x8360, 2, 1)[:13])

# serial_number: archive DKCPRP.DAT, LMCPT.DAT, SVP DKCPRP.DAT, LMCPT.DAT,
# serial number file, each ended by a zero byte.
def identity(*files):
    return b"\0".join(files)


same = b"SERIAL=412345\r\nMODEL=7\r\n"
pcm = b"PCMTYPE=3\r\n"
put("serial_number", "same", identity(same, pcm, same, pcm, b"412345\r\n"))
put("serial_number", "other-serial", identity(b"SERIAL=412346\r\nMODEL=7\r\n", pcm, same, pcm))
put("serial_number", "default-serial", identity(b"MODEL=7\r\n", pcm, b"SERIAL=0\r\nMODEL=7\r\n", pcm,
                                                 b"412345\n"))
put("serial_number", "odd-values", identity(b"serial= -5\r\nmodel=0x10\r\n", b"PCMTYPE=\r\n",
                                             b"SERIAL=99999999999999999999\r\n", b"PCMTYPE=3",
                                             b"41234x\r\n"))
put("serial_number", "long-line", identity(b"X" * 300 + b"SERIAL=412345\r\nMODEL=7\r\n", pcm,
                                            same, pcm, b"0000001234567\r\n"))

# world_file: the world file as svpconf init writes it, and some that fail.
put("world_file", "sample", b"""[world]
root = C:
identity = DKC-412345
[drive.C]
path = c
[drive.A]
type = removable
size = 1457664
media = f1;f2;f3
[medium.f2]
not_ready = yes
[drive.D]
path = d
type = cdrom
[client.pc]
remote = \\\\tsclient\\C
path = pc
[connections]
F = \\\\server\\share
G = \\\\server\\gone, unavailable
[services]
caption_suffix = " - SVP"
wait_ms = 0
""")
put("world_file", "bad-type", b"[drive.C]\npath = c\ntype = floppy\n")
put("world_file", "media-on-fixed", b"[drive.B]\nmedia = a;b\n")
put("world_file", "no-path", b"[drive.Q]\nsize = 12\n[client.x]\nremote = \\\\a\\b\n")
put("world_file", "odd-syntax", b"\xef\xbb\xbf[world\nroot=\n[drive.\xff]\n;c\nkey\n= v\n")

# profile_read: section, key, then the file.
put("profile_read", "svp-main", b"SVP_MAIN\0Type\0[SVP_MAIN]\r\nType=TQ520\r\n")
put("profile_read", "quoted", b"svp_main\0TYPE\0; comment\r\n[Other]\r\nType=x\r\n"
    b"[SVP_MAIN]\r\n  Type = ' TQ520 '  \r\n")
put("profile_read", "bom-and-blanks", b"S\0K\0\xef\xbb\xbf[ S ]\n[S]\nK\nK=\"\n")
# An empty key over a line with an empty name once compared through a null
# pointer.
put("profile_read", "empty-key", b"S\0\0[S]\nK[\n=\"1\n")
# A zero byte inside the value: the type check sees the text before it.
put("profile_read", "zero-in-value", b"SVP_MAIN\0Type\0[SVP_MAIN]\r\nType = TQ520\0\0#\r\n")
put("profile_read", "no-close", b"SVP_MAIN\0Type\0[SVP_MAIN\r\nType=tq520\r\n[SVP_MAIN]]\r\n")


# tar_extract, whole archives (first byte even) made with tarfile.
def tgz(members, compress=True, fmt=tarfile.PAX_FORMAT):
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=fmt) as t:
        for name, kind, extra in members:
            info = tarfile.TarInfo(name)
            info.mtime = 1700000000
            if kind == "f":
                info.size = len(extra)
                t.addfile(info, io.BytesIO(extra))
            else:
                info.type = {"d": tarfile.DIRTYPE, "l": tarfile.SYMTYPE,
                             "h": tarfile.LNKTYPE, "p": tarfile.FIFOTYPE}[kind]
                info.linkname = extra or ""
                t.addfile(info)
    data = raw.getvalue()
    return b"\0" + (gzip.compress(data, mtime=0) if compress else data)


put("tar_extract", "config", tgz([("PLAXON/", "d", None), ("PLAXON/CONFIG/", "d", None),
                                  ("PLAXON/CONFIG/CONFIG.INF", "f", b"SVPCONF 01020360\r\n"),
                                  ("PLAXON/CONFIG/copy", "h", "PLAXON/CONFIG/CONFIG.INF")]))
put("tar_extract", "climbing", tgz([("../x", "f", b"1"), ("/abs", "f", b"2"),
                                    ("C:\\x", "f", b"3"), ("a\\..\\..\\x", "f", b"4")]))
put("tar_extract", "links", tgz([("in", "l", "d/f"), ("out", "l", "../../outside"),
                                 ("out/kept", "f", b"5"), ("hard", "h", "../x"),
                                 ("fifo", "p", None)]))
# Entries through the link that waits in the target ("linked" -> outside).
put("tar_extract", "through-link", tgz([("linked/kept", "f", b"over"), ("linked/new", "f", b"9"),
                                        ("LINKED\\d\\f", "f", b"10")]))
put("tar_extract", "long-name", tgz([("d/" * 70 + "f", "f", b"6"), ("n" * 300, "f", b"7")]))
put("tar_extract", "gnu-plain", tgz([("L" * 150, "f", b"8")], compress=False,
                                    fmt=tarfile.GNU_FORMAT))
truncated = tgz([("PLAXON/CONFIG/big", "f", bytes(range(256)) * 16)])
put("tar_extract", "truncated", truncated[: len(truncated) // 2])


# An old GNU sparse entry: a megabyte of hole before its one stored byte.
def gnu_sparse(name, hole):
    h = bytearray(512)
    h[0:len(name)] = name
    h[100:108] = b"0000644\0"
    h[108:116] = b"0000000\0"
    h[116:124] = b"0000000\0"
    h[124:136] = b"%011o\0" % 1
    h[136:148] = b"%011o\0" % 1700000000
    h[156:157] = b"S"
    h[257:265] = b"ustar  \0"
    h[386:398] = b"%011o\0" % hole
    h[398:410] = b"%011o\0" % 1
    h[483:495] = b"%011o\0" % (hole + 1)
    h[148:156] = b" " * 8
    h[148:156] = b"%06o\0 " % sum(h)
    return bytes(h) + b"z" + b"\0" * 511 + b"\0" * 1024


put("tar_extract", "gnu-sparse", b"\0" + gzip.compress(gnu_sparse(b"holes", 1 << 20), mtime=0))
# The compact form (first byte odd): flags, entry count, then per entry kind,
# name, link name, [12 size bytes for kind 9], data length / 8, fill byte.
put("tar_extract", "compact-sizes", bytes([1, 1, 3, 9, 0, 0]) + b"\x80" + b"\xff" * 11
    + bytes([2, 0x41, 9, 2, 0]) + b"-0000000001\0" + bytes([1, 0x42, 0, 0, 0, 4, 0x43])
    + bytes([1, 2]))
put("tar_extract", "compact-pax", bytes([1, 4 | 8, 2, 5, 0xE3, 0xD0, 2, 0x44, 7, 0xF0, 4]) + b"path"
    + bytes([0xF0, 2]) + b"..")

# backup_scan: flags byte, name, zero byte.
def folders(*entries):
    return b"".join(bytes([flags]) + name + b"\0" for flags, name in entries)


put("backup_scan", "stamps", folders((0, b"20261206231500"), (0, b"20261206231501"),
                                     (0, b"20251231235959")))
put("backup_scan", "mixed", folders((0, b"20261206231500"), (1, b"no-archive"), (2, b"empty"),
                                    (4, b"a-file"), (8, b"linked"), (16, b"412345"),
                                    (0, b"412346"), (0, b"4123456")))
put("backup_scan", "odd-names", folders((0, b"!first"), (0, b"*.*"), (0, b"a b"),
                                        (0, b"\xe9t\xe9"), (0, b"x" * 230), (0, b"CON")))
# A name that a Windows path cannot hold named another backup ("b").
put("backup_scan", "backslash-names-another", folders((0, b"b"), (0, b"a\\..\\b")))
