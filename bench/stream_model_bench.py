#!/usr/bin/env python3
"""The rebuild over cards of drawn camera-like recordings: 1,000 seeds and one large card.

  python3 bench/stream_model_bench.py [--binary build/cli/mtsrescue-cli] [--work DIR] [--seeds N]
                                      [--jobs N] [--big N] [--no-decode]

Each seed is a card from tests/fixtures/stream_model.py, checked as tests/rebuild/
stream_model_cards.py checks it (the CTest run takes a few dozen of them); then one card holds
--big recordings (240 by default), each in 20 extents of 16 KiB clusters laid out of order among
other data: thousands of pieces, as on a well-used 64 GB card. Prints recall, whole, exact, wrong
joins, decode errors and the processor time of the runs, and the large card's rebuild alone
(its run with and without --no-clips). Needs ffmpeg; the pictures are encoded once into
WORK/pictures.
"""

import argparse
import multiprocessing
import os
import resource
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "rebuild"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "fixtures"))
import stream_model  # noqa: E402
import stream_model_cards as cards  # noqa: E402


def one_share(job):
    number, binary, work, cache, seeds, decode = job
    folder = os.path.join(work, "job%d" % number)
    os.makedirs(folder, exist_ok=True)
    return cards.run_seeds(binary, folder, cache, seeds, decode=decode)


def cpu_of(command):
    shutil.rmtree(command[-1], ignore_errors=True)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.time()
    run = subprocess.run(command, capture_output=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if run.returncode != 0:
        raise RuntimeError("%s failed: %s" % (command, run.stderr.decode()[-300:]))
    return time.time() - started, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main(argv=None):
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", default=os.path.join(HERE, "..", "build", "cli", "mtsrescue-cli"))
    parser.add_argument("--work", default="/tmp/mtsrescue-stream-model")
    parser.add_argument("--seeds", type=int, default=1000)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--big", type=int, default=240, help="recordings on the large card (0: none)")
    parser.add_argument("--no-decode", action="store_true", help="skip the ffmpeg decode of every file")
    args = parser.parse_args(argv)
    binary = os.path.abspath(args.binary)
    cache = os.path.join(args.work, "pictures")
    os.makedirs(cache, exist_ok=True)
    # Every picture encoding the seeds need, made once before the work is shared out.
    for seed in range(1, args.seeds + 1):
        for model in [stream_model.draw(seed * 100 + i) for i in range(6)]:
            stream_model.pictures(cache, model)

    started = time.time()
    seeds = cards.real_cards(cache) + list(range(1, args.seeds + 1))
    shares = [seeds[k::args.jobs] for k in range(args.jobs)]
    total = cards.Figures()
    with multiprocessing.Pool(args.jobs) as pool:
        for figures in pool.imap_unordered(one_share, [(k, binary, args.work, cache, share, not args.no_decode)
                                                       for k, share in enumerate(shares) if share]):
            total.add(figures)
    for message in total.failures:
        print("FAIL: " + message)
    print("%d cards (%d seeds and the real recording's) in %.0f s:\n  %s" % (
        len(seeds), args.seeds, time.time() - started, total.line()))

    if args.big:
        image, manifest, datas = stream_model.card(424242, cache, recordings=args.big, layout="fragmented",
                                                   extents=20, cluster_kib=16)
        path = os.path.join(args.work, "big.img")
        with open(path, "wb") as f:
            f.write(image)
        pieces = sum(len(r["extents"]) for r in manifest["recordings"])
        print("large card: %.0f MB, %d recordings in %d extents of 16 KiB clusters" % (
            len(image) / 1e6, len(datas), pieces))
        figures = cards.check_card(binary, path, manifest, datas, os.path.join(args.work, "big-out"),
                                   decode=not args.no_decode)
        for message in figures.failures:
            print("FAIL: " + message)
        print("  " + figures.line())
        wall_with, cpu_with = cpu_of([binary, "-q", path, os.path.join(args.work, "big-with")])
        wall_without, cpu_without = cpu_of([binary, "-q", "--no-clips", path, os.path.join(args.work, "big-without")])
        print("  run with the rebuild %.1f s (CPU %.1f s), without %.1f s (CPU %.1f s): the rebuild's CPU %.1f s" % (
            wall_with, cpu_with, wall_without, cpu_without, cpu_with - cpu_without))
        total.add(figures)
    return 1 if total.failures else 0


if __name__ == "__main__":
    sys.exit(main())
