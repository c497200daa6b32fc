#!/usr/bin/env python3
"""make_bench_image.py PATH MIB: writes a MIB-mebibyte benchmark image.

Every 16 MiB hold an 8 MiB camcorder clip (192-byte packets, 4-byte arrival stamps climbing at a
steady 27 MHz pace, sync byte 0x47) starting on a sector boundary, then 8 MiB of pseudo-random bytes
that hold no packets, so both the hit path and the no-hit path of the scan are exercised.
"""
import random
import struct
import sys


def clip(mib, first_stamp):
    packets = mib * 1024 * 1024 // 192
    out = bytearray(packets * 192)
    payload = bytes((i * 31) & 0xFF for i in range(187))
    stamp = first_stamp
    for n in range(packets):
        base = n * 192
        out[base:base + 4] = struct.pack(">I", stamp & 0x3FFFFFFF)
        out[base + 4] = 0x47
        out[base + 5:base + 192] = payload
        stamp += 3000
    out.extend(bytes(mib * 1024 * 1024 - len(out)))
    return bytes(out)


def main():
    path, mib = sys.argv[1], int(sys.argv[2])
    rng = random.Random(1)
    noise = bytes(rng.getrandbits(8) for _ in range(1024 * 1024)).replace(b"\x47", b"\x46")
    stream = clip(8, 12345)
    with open(path, "wb") as out:
        for _ in range(mib // 16):
            out.write(stream)
            for _ in range(8):
                out.write(noise)


if __name__ == "__main__":
    main()
