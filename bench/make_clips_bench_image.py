#!/usr/bin/env python3
"""A card image for timing the rebuilding of recordings: MIB MiB of 32 KiB clusters of which a
share FILL is taken by recordings whose clusters lie scattered (shuffled), the rest by random bytes.

Recordings are copies of a few ffmpeg clips (tests/fixtures/m2ts.py), each copy with its own
arrival-stamp origin, so every copy is a recording of its own.

Usage: make_clips_bench_image.py IMAGE MIB FILL
"""

import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fixtures"))
import m2ts  # noqa: E402

CLUSTER = 32 * 1024
DATA_OFFSET = 1 << 20


def main(image, mib, fill):
    rng = random.Random(5)
    work = os.path.dirname(os.path.abspath(image))
    sources = [m2ts.make_clip(os.path.join(work, "bench_clip%d.MTS" % seed), 4, seed, 0) for seed in (1, 2, 3)]
    count = ((mib << 20) - DATA_OFFSET) // CLUSTER
    slots = list(range(count))
    rng.shuffle(slots)
    wanted = int(count * fill)
    with open(image, "wb") as f:
        f.truncate(mib << 20)
        used = 0
        copy = 0
        while used < wanted:
            origin = rng.randrange(1 << 30)
            data = m2ts.rewrite_stamps(sources[copy % len(sources)], origin, m2ts.DEFAULT_MUXRATE)
            copy += 1
            clusters = -(-len(data) // CLUSTER)
            # Mostly in order, as a card fills up, but every few clusters somewhere else.
            run = sorted(slots[used:used + clusters])
            for k in range(clusters):
                f.seek(DATA_OFFSET + run[k] * CLUSTER)
                f.write(data[k * CLUSTER:(k + 1) * CLUSTER])
            used += clusters
        taken = set(slots[:used])
        for slot in range(count):
            if slot not in taken:
                f.seek(DATA_OFFSET + slot * CLUSTER)
                f.write(rng.randbytes(CLUSTER))
    for seed in (1, 2, 3):
        os.unlink(os.path.join(work, "bench_clip%d.MTS" % seed))
    print("%s: %d MiB, %d recordings in %d of %d clusters" % (image, mib, copy, used, count))


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]), float(sys.argv[3]))
