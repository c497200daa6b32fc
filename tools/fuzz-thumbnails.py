#!/usr/bin/env python3
"""Feeds damaged recordings to mtsrescue-cli --thumbnails, meant for a build with AddressSanitizer:

  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMTSRESCUE_BUILD_GUI=OFF \\
    -DMTSRESCUE_BUILD_TESTS=OFF -DMTSRESCUE_BUILD_BENCH=OFF \\
    -DCMAKE_CXX_FLAGS="-O1 -g -fsanitize=address,undefined -fno-omit-frame-pointer" \\
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
  cmake --build build-asan --target mtsrescue-cli
  tools/fuzz-thumbnails.py --binary build-asan/cli/mtsrescue-cli --work /tmp/fuzz FILE.MTS...

Each recording given is damaged in several ways (cut short at several places, bytes flipped at
three rates, blocks overwritten with random bytes or zeros, the start shifted off the packet
grid, the PES headers and parameter sets garbled), and each damaged image is recovered with
--thumbnails. A run fails when the program crashes, reports a sanitizer error, takes longer than
--timeout seconds, or exits with another code than 0. Prints one line per image.
"""

import argparse
import os
import random
import subprocess
import sys
import time

PACKET = 192


def damaged(data, rng):
    """(name, bytes) of each damaged copy of data."""
    n = len(data)
    yield "cut-10pc", data[:n // 10]
    yield "cut-half-plus-13", data[:n // 2 + 13]
    yield "cut-99pc", data[:n * 99 // 100]
    yield "cut-one-packet", data[:PACKET * 3 + 5]
    for rate in (1e-4, 1e-3, 1e-2):
        out = bytearray(data)
        for _ in range(int(n * rate)):
            out[rng.randrange(n)] ^= 1 << rng.randrange(8)
        yield "flips-%g" % rate, bytes(out)
    for fill in ("random", "zeros"):
        out = bytearray(data)
        for _ in range(max(1, n // (256 * 1024))):
            at = rng.randrange(max(1, n - 4096))
            out[at:at + 4096] = rng.randbytes(4096) if fill == "random" else bytes(4096)
        yield "blocks-" + fill, bytes(out)
    yield "shifted-97", data[97:]
    # The bytes a demultiplexer and a decoder trust most: PES headers and parameter sets.
    out = bytearray(data)
    for k in range(n // PACKET):
        ts = k * PACKET + 4
        if out[ts + 1] & 0x40 and rng.random() < 0.5:
            start = ts + 4 + (1 + out[ts + 4] if out[ts + 3] & 0x20 else 0)
            for i in range(start, min(ts + 188, start + 40)):
                if rng.random() < 0.3:
                    out[i] = rng.randrange(256)
    yield "headers", bytes(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--timeout", type=float, default=300)
    parser.add_argument("recordings", nargs="+")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    rng = random.Random(23)
    failures = 0
    count = 0
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=1:abort_on_error=0", UBSAN_OPTIONS="print_stacktrace=1")
    for recording in args.recordings:
        data = open(recording, "rb").read()
        for name, image in damaged(data, rng):
            count += 1
            base = os.path.join(args.work, "%s-%s" % (os.path.basename(recording), name))
            with open(base + ".img", "wb") as f:
                f.write(image)
            dest = base + ".dest"
            subprocess.run(["rm", "-rf", dest])
            started = time.monotonic()
            try:
                done = subprocess.run([args.binary, "--thumbnails", "--quiet", base + ".img", dest], env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=args.timeout)
                took = time.monotonic() - started
                sanitizer = b"Sanitizer" in done.stderr or b"runtime error" in done.stderr
                ok = done.returncode == 0 and not sanitizer
                pictures = sum(len(files) for _, _, files in os.walk(os.path.join(dest, "thumbnails")))
                print("%-60s exit %d, %5.1f s, %d pictures%s" % (
                    os.path.basename(base), done.returncode, took, pictures, "" if ok else "  FAILED"))
                if not ok:
                    failures += 1
                    sys.stdout.write(done.stderr.decode(errors="replace")[-4000:])
            except subprocess.TimeoutExpired:
                failures += 1
                print("%-60s FAILED: still running after %d s" % (os.path.basename(base), args.timeout))
    print("%d damaged images, %d failed" % (count, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
