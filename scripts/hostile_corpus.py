#!/usr/bin/env python3
"""Writes the hostile corpus: small files that claim huge pictures or archives,
and a few large but sparse ones, into the folder given (nothing large is kept
in git). Each is named for what it does; tests/hostile_costs.sh runs every
entry point on them and holds each run to its memory and time caps.

Usage: hostile_corpus.py FOLDER
"""
import os
import struct
import sys


def header(width, height):
    return b"GCmpSH0\0" + struct.pack("<hhhh", width, height, 24, 0)


def run(count, color=b"\x40\x80\xc0"):
    """One run of `count` pixels (0: every pixel left) of a literal colour."""
    return b"\x00" + struct.pack("<I", count) + color


def archive(members):
    """An NSC archive holding the members' bytes."""
    table_size = 4 * (len(members) + 2)
    words = [0x4643534E, table_size]
    at = table_size
    for m in members:
        at += len(m)
        words.append(at)
    return struct.pack("<%dI" % len(words), *words) + b"".join(members)


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    # 24 bytes: one colour fills 32000 x 21000 (672 Mpx).
    write(folder, "fill-672-megapixels.gcmp", header(32000, 21000) + run(0))
    # 620 Mpx of one colour, then a literal list of no colours: broken.
    write(folder, "broken-after-620-megapixels.gcmp",
          header(32000, 21000) + run(620_000_000) + b"\x01\x00")
    # The header of 32767 x 32767 and 4 bytes: the rest is black.
    write(folder, "ends-after-4-bytes.gcmp", header(32767, 32767) + b"\x05\x10\x20\x30")
    # A 16-byte header and 4.5 GB of zeros (sparse): zeros decode as one
    # black run that fills the picture.
    with open(os.path.join(folder, "header-and-4.5-gb-of-zeros.gcmp"), "wb") as f:
        f.write(header(32767, 32767))
        f.truncate(16 + 9 * 2**29)
    # 40 pictures of 26 bytes, each decoding 200 Mpx before it breaks.
    broken = header(32767, 32767) + run(200_000_000) + b"\x01\x00"
    write(folder, "40-broken-pictures.nsc", archive([broken] * 40))
    # 100,000 members, each a 4 x 9 picture.
    small = header(4, 9) + run(0)
    write(folder, "100000-small-pictures.nsc", archive([small] * 100_000))
    # A full 16 MiB table: 4,194,302 members of 2 bytes.
    count = (16 << 20) // 4 - 2
    write(folder, "full-16-mib-table.nsc", archive([b"ab"] * count))
    # 40 bytes: eight members that claim 400 MB each, past the end of the file.
    words = [0x4643534E, 40] + [40 + 400_000_000 * k for k in range(1, 9)]
    write(folder, "members-past-the-end.nsc", struct.pack("<10I", *words))
    # A table whose last member wraps: 30 to 20.
    write(folder, "member-size-wraps.nsc", struct.pack("<4I", 0x4643534E, 16, 30, 20) + b"x" * 14)
    # 16 bytes whose table claims a 2 GiB member.
    write(folder, "2-gib-member-in-16-bytes.nsc", struct.pack("<4I", 0x4643534E, 16, 16, 16 + 2**31))
    # Real pixel data for a 450 MB DIB: 12000 x 12500, rows of alternating runs.
    row = (run(1000, b"\x10\x20\x30") + run(1000, b"\x90\xa0\xb0")) * 6
    picture = header(12000, 12500) + row * 12500
    write(folder, "dib-of-450-mb.gcmp", picture)
    # Four such pictures, for convert's workers.
    write(folder, "4-dibs-of-450-mb.nsc", archive([picture] * 4))
    # The largest DIB a header can claim in 24 bytes: 32767 x 21845, one colour.
    write(folder, "dib-of-2-gib-in-24-bytes.gcmp", header(32767, 21845) + run(0))


if __name__ == "__main__":
    main()
