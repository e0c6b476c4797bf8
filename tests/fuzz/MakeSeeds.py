#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into seeds/NAME/ (run from anywhere)."""
import os

here = os.path.dirname(os.path.abspath(__file__))
source = os.path.normpath(os.path.join(here, "..", ".."))


def write(target, name, data):
    folder = os.path.join(here, "seeds", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes(data))


def packet(ident, instruction, params):
    body = [ident, len(params) + 2, instruction] + list(params)
    return [0xFF, 0xFF] + body + [~sum(body) & 0xFF]


# ReplyReader: records of op id address n flags [caps] replyLength reply. Flags: bit 0 status
# level, bit 1 high byte first, bit 2 short writes, bit 3 position block at ~address, bit 7
# port closed.
def record(op, ident, address, n, flags, reply=(), caps=()):
    assert len(caps) <= 7
    flags |= len(caps) << 4
    return [op, ident, address, n, flags] + list(caps) + [len(reply)] + list(reply)


key = [5, 3, 0, 12, 1, 1, 4, 0, 1]
read_reply = packet(1, 0, key)  # FF FF 01 0B 00 <9 bytes> CHK
status = packet(1, 0, [])
rr = {
    "read-whole": record(0, 1, 0, 9, 1, read_reply),
    "read-one-short": record(0, 1, 0, 9, 1, read_reply[:-1]),
    "read-no-checksum": record(0, 1, 0, 9, 1, read_reply[:-1], caps=[5, 9, 0]),
    "read-cut-data": record(0, 1, 0, 9, 1, read_reply, caps=[5, 3, 1]),
    "read-silence": record(0, 7, 56, 17, 1, []),
    "write-status": record(3, 1, 40, 1, 1, status),
    "write-status-short": record(3, 1, 40, 1, 1, status[:5]),
    "write-no-status-level": record(1, 1, 40, 4, 0, []),
    "write-broadcast": record(2, 254, 40, 3, 1, []),
    "write-too-long": record(1, 1, 0, 253, 1, status),
    "word-high-first": record(4, 1, 42, 8, 3, status),
    "position": record(5, 1, 0xFF, 0x9C, 1, status),
    "position-reg": record(6, 2, 0x80, 0x00, 3, status),
    "specials": record(7, 1, 0, 0, 1, status) + record(8, 1, 0, 0, 1, status)
    + record(9, 1, 0, 0, 1, status[:3]),
    "sync": record(10, 1, 40, 3, 0, [1, 2, 3]),
    "sync-too-many": record(10, 1, 40, 39, 0, list(range(40))),
    "send-only": record(11, 1, 0, 1, 0) + record(11, 3, 0, 0, 4),
    "mixed": record(0, 1, 0, 9, 1, read_reply) + record(10, 0, 0, 2, 0, [1, 2])
    + record(3, 1, 40, 1, 1, status) + record(0, 2, 56, 4, 1, packet(2, 0, [1, 2, 3, 4]) + [9, 9])
    + record(5, 1, 1, 2, 1, status[:2]) + record(0, 1, 0, 0, 1, packet(1, 0, [])),
    # Replies that fail a check are no answer, and an error byte is still an answer.
    "read-bad-header": record(0, 1, 0, 9, 1, [0xFF, 0xFE] + read_reply[2:]),
    "read-other-id": record(0, 1, 0, 9, 1, packet(2, 0, key)),
    "read-wrong-length": record(0, 1, 0, 9, 1, packet(1, 0, key + [0])),
    "read-flipped-data": record(0, 1, 0, 9, 1, read_reply[:7] + [read_reply[7] ^ 0x10] + read_reply[8:]),
    "read-error-byte": record(0, 1, 0, 9, 1, packet(1, 0x20, key)),
    "status-damaged": record(3, 1, 40, 1, 1, [0xFF, 0xFE] + status[2:])
    + record(3, 1, 40, 1, 1, packet(2, 0, [])) + record(3, 1, 40, 1, 1, [0xFF, 0xFF, 1, 3, 0, 0xFB])
    + record(3, 1, 40, 1, 1, status[:5] + [status[5] ^ 0x21]),
    "status-error-byte": record(7, 1, 0, 0, 1, packet(1, 0x04, [])),
    "port-closed": record(0, 1, 0, 9, 0x81, read_reply) + record(3, 1, 40, 1, 0x81, status)
    + record(1, 1, 0, 253, 0x81, status) + record(11, 1, 0, 1, 0x80),
    "position-address": record(5, 1, 0x10, 0x20, 0x09, status) + record(10, 1, 0x10, 2, 0x08, [1, 2]),
}
for name, data in rr.items():
    write("ReplyReader", name, list(data))

# Catalogue: ModelKey, stretch byte, file bytes.
with open(os.path.join(source, "data", "setup.log"), "rb") as f:
    shipped = f.read()
keys = {"kestrel": [5, 3, 0, 12, 1, 1, 4, 0, 1], "heron": [7, 2, 1, 25, 3, 2, 4, 0, 1],
        "osprey": [9, 1, 0, 40, 5, 3, 4, 0, 0]}
for name, k in keys.items():
    write("Catalogue", "shipped-" + name, k + [0] + list(shipped))
gbk = lambda s: s.encode("gbk")
small = (gbk("[型号]\r\n1,0,255,0,名字\r\n1,0,255,0,a,b\n[型号结束]\n")
         + gbk("[内存]\n1,0,9,0,x\n1,0,9,0\n0,ID,1,1,-1,EPROM,只读,-1,-1,extra\n\n5,short\nNULL,,,,,,,,\n[内存结束]\n")
         + gbk("[调试]\n1,5,3,0,1,2,3,4,5\n1,0,255,0,56,72,40,0x10,-1\n[调试结束]"))
write("Catalogue", "small-crlf", [1, 2, 0, 1, 4, 0, 0, 0, 0] + [0] + list(small))
write("Catalogue", "long-first-line", keys["osprey"] + [70] + [10] + list(shipped))
write("Catalogue", "markers-with-spaces",
      [1, 2, 0, 1, 4, 0, 0, 0, 0] + [0] + list(gbk("[型号] \n [内存]\n[调试]\n1,0,255,0,1,2,3,4,5")))

# PacketParser: timing byte, stream.
pp = {
    "read-request": [0] + packet(1, 2, [0, 9]),
    "several": [0] + packet(1, 3, [40, 1]) + packet(254, 5, []) + packet(2, 2, [56, 17]),
    "sync": [0] + [0xFF, 0xFF, 0xFE, 0x08, 0x83, 0x28, 0x01, 0x01, 0x01, 0x02, 0x01, 0x48],
    "long-preamble": [0] + [0xFF] * 5 + packet(3, 10, []),
    "short-length": [0] + [0xFF, 0xFF, 0x01, 0x01, 0x02] + packet(1, 6, []),
    "bad-checksum": [0] + packet(1, 2, [0, 9])[:-1] + [0],
    "stall-inside": [3] + packet(1, 2, [0, 9]) + packet(1, 2, [0, 9]),
    "pause-not-stall": [0x83] + packet(1, 2, [0, 9]),
    "garbage": [5] + [0x12, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0x10, 0xFF, 0xFF, 0x02, 0x07],
}
for name, data in pp.items():
    write("PacketParser", name, data)


# HexRecord: fill byte, starting length (3 bytes), line.
def hex_record(address, data, kind=0):
    body = [len(data), address >> 8, address & 0xFF, kind] + list(data)
    return (":" + "".join("%02X" % b for b in body) + "%02X" % (-sum(body) & 0xFF)).encode()


hr = {
    "data": [0, 0, 0, 0] + list(hex_record(0, [1, 2, 3, 4])),
    "above-base": [0x55, 0, 0x10, 0] + list(hex_record(0x8010, range(16))),
    "top-of-window": [1, 1, 0, 0] + list(hex_record(0xFFF0, range(255))),
    "end-of-file": [2, 0, 0, 9] + list(b":00000001FF"),
    "linear-address": [3, 0, 0, 0] + list(hex_record(0, [0, 1], 4)),
    "count-zero": [4, 0, 0, 0] + list(hex_record(0x1234, [])),
    "lower-case": [5, 0, 0, 0] + list(hex_record(0x40, [0xAB, 0xCD]).lower()),
    "bad-checksum": [6, 0, 0, 0] + list(hex_record(0x100, [9, 9])[:-1] + b"0"),
    "count-mismatch": [7, 0, 0, 0] + list(b":0500000001020304F2"),
    "trailing-cr": [8, 0, 0, 0] + list(hex_record(0, [1]) + b"\r"),
}
for name, data in hr.items():
    write("HexRecord", name, data)


# HexFile: FF n for 3200 + n leading padding records (else 0 0), name choice, file bytes.
def hex_file(lines, end=b"\n"):
    return end.join(lines) + end


eof = b":00000001FF"
hf = {
    "small": [0, 0, 0] + list(hex_file([hex_record(0, range(16)), hex_record(0x10, [7, 8]), eof])),
    "crlf": [0, 0, 1] + list(hex_file([hex_record(0x8000, range(32)), eof], b"\r\n")),
    "no-final-lf": [0, 0, 2] + list(hex_file([hex_record(0x20, [1, 2, 3])]) + eof),
    "blank-line": [0, 0, 0] + list(hex_file([hex_record(0, [1]), b"", eof])),
    "records-after-eof": [0, 0, 3] + list(hex_file([eof, hex_record(0x7FF0, range(40))])),
    "linear-and-gaps": [0, 0, 0] + list(hex_file([hex_record(0, [0, 1], 4), hex_record(0x9000, [5]),
                                                  hex_record(0x0100, [6]), eof])),
    # 3270 padding records make 65400 bytes: the lines below straddle the first 64 KiB read.
    "straddling-read": [0xFF, 70, 0]
    + list(hex_file([hex_record(0x4000, range(100)), hex_record(0x4100, [1, 2]), eof], b"\r\n")),
}
for name, data in hf.items():
    write("HexFile", name, data)

# BinFile: stretch flag and name choice, stretch byte, file bytes.
bf = {
    "empty": [0, 0],
    "65-bytes": [1, 0] + [i & 0xFF for i in range(65)],
    "whole-window": [0x82, 64] + [0xAA] * 16,
    "one-byte-too-many": [0x83, 65] + [1],
    "just-under": [0x80, 63],
}
for name, data in bf.items():
    write("BinFile", name, data)


# ParameterFile: memory size, lock flag address (255: none), flags (bit 0 poll answered,
# bit 1 polled status level, bit 2 poll replies damaged), replies (2 bits per write: 0 status,
# 1 silence, 2 short, 3 damaged: header, ID, length, checksum by turns from the ID), selected
# ID, file bytes.
def params(n, ident=1, baud=4, level=1):
    block = [(a * 3) & 0xFF for a in range(n)]
    for a, v in ((5, ident), (6, baud), (8, level)):
        if a < n:
            block[a] = v
    return block


pf = {
    "eprom-block": [73, 48, 3, 0, 1] + params(37),
    "new-id-and-rate": [73, 48, 3, 0, 1] + params(37, ident=7, baud=2),
    "no-lock-flag": [16, 255, 3, 0, 1] + params(16),
    "status-level-0": [73, 48, 1, 0x15, 3] + params(37, level=0),
    "unlock-unanswered": [73, 48, 3, 1, 1] + params(37),
    "block-short-status": [73, 48, 3, 2 << 2, 1] + params(37),
    "lock-unanswered": [73, 48, 3, 1 << 4, 1] + params(37),
    "longer-than-memory": [10, 4, 3, 0, 2] + params(40),
    "empty-file": [73, 48, 3, 0, 1],
    "broadcast": [73, 48, 3, 0x15, 254] + params(37),
    "too-long-for-a-packet": [255, 48, 3, 0, 1] + params(255),
    "poll-unanswered": [255, 48, 0, 0, 1] + params(252),
    "poll-damaged": [73, 48, 3 | 4, 0, 1] + params(37),
    "unlock-damaged": [73, 48, 3, 3, 1] + params(37),
    "block-damaged": [73, 48, 3, 3 << 2, 1] + params(37),
    "lock-damaged": [73, 48, 3, 3 << 4, 1] + params(37),
    "block-damaged-header": [73, 48, 3, 3 << 2, 3] + params(37, ident=3),
}
for name, data in pf.items():
    write("ParameterFile", name, data)


# ShareFrame: a piece size byte, then the frames of a shared bus's connection.
def frame(kind, payload, version=1):
    n = len(payload)
    return [ord("S"), ord("B"), version, kind, n & 0xFF, n >> 8] + list(payload)


def le(value, n):
    return [(value >> (8 * i)) & 0xFF for i in range(n)]


read = packet(1, 2, [56, 13])
hello = frame(1, le(4242, 4) + list(b"servoctl"))
welcome = frame(2, le(115200, 4) + le(4242, 4) + list(b"servo-debugger"))
exchange = frame(3, le(100, 2) + le(19, 2) + read)
result = frame(4, [0, 0] + le(115200, 4) + packet(1, 0, [0] * 13))
sf = {
    "session": [0] + hello + welcome + exchange + result + frame(5, []) + exchange + frame(6, []),
    "session-in-pieces": [6] + hello + exchange + result,
    "other-version": [255] + frame(1, le(1, 4) + list(b"x"), version=2),
    "too-long": [255] + [ord("S"), ord("B"), 1, 3, 0xFF, 0xFF] + [0] * 32,
    "bad-packet": [255] + frame(3, le(100, 2) + le(6, 2) + read[:-1] + [read[-1] ^ 1]),
    "garbage": [3] + list(range(64)),
}
for name, data in sf.items():
    write("ShareFrame", name, data)

# MotionFile: motion files, one taken and three refused.
mf = {
    "two-keyframes.json": '{"format": "servo-motion", "version": 1, "easing": "linear", "keyframes": [\n'
                          '  {"pose": {"1": 2047, "3": -100}, "time_ms": 1000, "hold_ms": 500},\n'
                          '  {"pose": {"1": 1500, "3": 30719}, "time_ms": 1}\n]}\n',
    "newer.json": '{"version": 2, "keyframes": []}',
    "twice.json": '{"version": 1, "keyframes": [{"pose": {"01": 5, "1": 6}, "time_ms": 0}]}',
    "not-json.json": '{"version": 1,\n "keyframes": [}',
}
for name, text in mf.items():
    write("MotionFile", name, text.encode())
