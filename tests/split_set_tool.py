#!/usr/bin/env python3
"""Reads and writes velmora split sets on the Linux side, independently of the
C++ code: the piece layout, the piece-name rule, the integrity record in the
SplitHeader and the SFV checksum file, each written from the layout the format
headers document, with zlib.crc32 for every CRC.

As a program:  split_set_tool.py checksums FIRST-PIECE
adds the integrity record and the checksum file to a set (for the benchmark).
"""
import os
import struct
import sys
import zlib

IMAGE_SIZE = 6656          # the joiner image; the SplitHeader follows it
HEADER_SIZE = 272
FIRST_CHUNK = IMAGE_SIZE + HEADER_SIZE     # 6928
FIRST_DATA = FIRST_CHUNK + 12              # 6940
LATER_DATA = 12
BLOCK = 2048
MARKER = "VRAX."
RECORD_AT = IMAGE_SIZE + 4 + 228           # in file_name's tail: header offset 232
CUT_SHORT = 1


def piece_suffix(path, suffix):
    """The piece-name rule as a reader applies it, on the file-name part only
    (after the last '/' or '\\'): after the last "VRAX." in any case (its
    letters kept), else from the last dot, else at the end, the marker and
    the suffix."""
    start = max(path.rfind("/"), path.rfind("\\")) + 1
    head, name = path[:start], path[start:]
    at = name.upper().rfind(MARKER)
    if at >= 0:
        return head + name[:at + len(MARKER)] + suffix
    dot = name.rfind(".")
    return head + (name[:dot] if dot >= 0 else name) + MARKER + suffix


def later_piece(first, n):
    return piece_suffix(first, "%03d" % n)


def checksum_file(first):
    return piece_suffix(first, "sfv")


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write_bytes(path, data):
    with open(path, "wb") as f:
        f.write(data)


class Header:
    """The SplitHeader's fields as the layout gives them."""

    def __init__(self, raw):
        self.raw = bytearray(raw)
        self.payload_size, = struct.unpack_from("<I", raw, 0)
        self.name = bytes(raw[4:264]).split(b"\0", 1)[0]
        self.piece_count, = struct.unpack_from("<i", raw, 264)
        self.compressed = raw[268]


def read_header(first):
    with open(first, "rb") as f:
        f.seek(IMAGE_SIZE)
        return Header(f.read(HEADER_SIZE))


def pieces(first):
    """Paths of the set's pieces, the first included, by the header's count."""
    count = read_header(first).piece_count
    return [first] + [later_piece(first, n) for n in range(max(count, 1) - 1)]


def data_area(piece, index):
    """The data area of a piece as its ChunkRecord describes it."""
    data = read_bytes(piece)
    chunk_at = FIRST_CHUNK if index == 0 else 0
    _, blocks, last = struct.unpack_from("<Iii", data, chunk_at)
    start = chunk_at + 12
    length = 0 if blocks <= 0 else BLOCK * (blocks - 1) + last
    return data[start:start + length]


def payload(first):
    return b"".join(data_area(p, i) for i, p in enumerate(pieces(first)))


def payload_crc(first):
    """The payload's length and CRC-32, a piece at a time."""
    length, crc = 0, 0
    for i, p in enumerate(pieces(first)):
        area = data_area(p, i)
        length, crc = length + len(area), zlib.crc32(area, crc)
    return length, crc


def chunk_record(length):
    if length == 0:
        return struct.pack("<Iii", 0, 0, 0)
    blocks = (length + BLOCK - 1) // BLOCK
    return struct.pack("<Iii", 0, blocks, length - BLOCK * (blocks - 1))


def add_record(first, cut_short=False, write_time=0):
    """Seals the integrity record into the first piece's header: signature,
    version, flags, piece_count, the payload's length and CRC-32, the
    last-write time (FILETIME) and the CRC of the header's meaningful fields
    followed by the record's first 28 bytes."""
    length, crc = payload_crc(first)
    raw = bytearray(read_bytes(first))
    header = Header(raw[IMAGE_SIZE:IMAGE_SIZE + HEADER_SIZE])
    assert len(header.name) <= 227, "the name leaves no room for a record"
    record = b"VRXC" + bytes([1, CUT_SHORT if cut_short else 0, 0, 0])
    record += struct.pack("<iIIQ", header.piece_count, length, crc, write_time)
    guarded = (header.raw[0:4] + header.name + b"\0" + header.raw[264:268] +
               header.raw[268:269] + record)
    record += struct.pack("<I", zlib.crc32(guarded))
    raw[RECORD_AT:RECORD_AT + 32] = record
    write_bytes(first, bytes(raw))


def strip_record(first):
    """Zeroes the integrity record's bytes: the set then carries none."""
    raw = bytearray(read_bytes(first))
    raw[RECORD_AT:RECORD_AT + 32] = bytes(32)
    write_bytes(first, bytes(raw))


def write_sfv(first, encoding="utf-8"):
    """The checksum file beside the first piece: one line per piece, its file
    name (in `encoding`, the set's code page) and the CRC-32 of the whole
    file, after a comment line."""
    lines = ["; velmora split set"]
    for piece in pieces(first):
        lines.append("%s %08X" % (os.path.basename(piece), zlib.crc32(read_bytes(piece))))
    write_bytes(checksum_file(first), ("\r\n".join(lines) + "\r\n").encode(encoding))


def set_piece_count(first, count):
    raw = bytearray(read_bytes(first))
    struct.pack_into("<i", raw, IMAGE_SIZE + 264, count)
    write_bytes(first, bytes(raw))


def write_set(template_first, first, data, section, compressed):
    """A set of `data` cut into pieces of `section` bytes, with the joiner
    image and the file name of the template set's first piece."""
    head = read_bytes(template_first)[:FIRST_CHUNK]
    areas = [data[:section - FIRST_DATA]]
    rest = data[section - FIRST_DATA:]
    while rest:
        areas.append(rest[:section - LATER_DATA])
        rest = rest[section - LATER_DATA:]
    header = bytearray(head[IMAGE_SIZE:])
    struct.pack_into("<I", header, 0, len(data))
    header[232:264] = bytes(32)  # no record
    struct.pack_into("<i", header, 264, len(areas))
    header[268] = 1 if compressed else 0
    write_bytes(first, head[:IMAGE_SIZE] + bytes(header) + chunk_record(len(areas[0])) + areas[0])
    for n, area in enumerate(areas[1:]):
        write_bytes(later_piece(first, n), chunk_record(len(area)) + area)


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] != "checksums":
        sys.exit("usage: split_set_tool.py checksums FIRST-PIECE")
    add_record(sys.argv[2])
    write_sfv(sys.argv[2])
