#!/usr/bin/env python3
"""Random card histories for the rebuilding of recordings: a longer, harsher check than CTest's.

  clips_stress.py --binary BIN --work DIR [--first N] [--count N] [--camcorder]

Each trial records ten ffmpeg clips of random lengths onto a 16 MiB card with random cluster size
(16 to 128 KiB), deleting earlier files and writing photos between them, and often lets several
recordings share one arrival-stamp origin (the hardest case: their stamps and cuts then agree
wherever their clusters lie at the same file offsets, and only the continuity counters tell them
apart). Every trial is checked as clips_end_to_end.py checks its card; failures are printed, one
line each. With --camcorder the clips are camcorder-like (tests/fixtures/camcorder.py), each with
its own recording date. Not run by CTest: it takes minutes and its failures are the known limits to study.
"""

import argparse
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import clips_end_to_end as e2e  # noqa: E402

SECONDS = [0.6, 0.8, 1.0, 1.2, 1.5]


def history(trial, camcorder=False):
    """The recordings (name, seconds, seed, origin[, date]) and the card's history for one trial."""
    rng = random.Random(trial)
    recordings = []
    for i in range(10):
        origin = rng.choice([5000, 5000, 123456, rng.randrange(1 << 30)])
        recordings.append(("s%d_%d" % (trial, i), rng.choice(SECONDS), 200 + (trial * 10 + i) % 40, origin))
        if camcorder:
            recordings[-1] += ("2026-%02d-%02dT%02d:%02d:%02d" % (
                rng.randrange(1, 13), rng.randrange(1, 29), rng.choice([0, rng.randrange(24)]),
                rng.choice([0, rng.randrange(60)]), rng.randrange(60)),)
    steps, live = [], []
    for i, recording in enumerate(recordings):
        if live and rng.random() < 0.5:
            steps.append(("delete", live.pop(rng.randrange(len(live)))))
        if rng.random() < 0.4:
            steps.append(("photo", "p%d" % i, rng.randrange(20, 300)))
            if rng.random() < 0.5:
                live.append("p%d" % i)
        steps.append(("record_wrapping" if rng.random() < 0.2 else "record", recording[0]))
        live.append(recording[0])
    return recordings, steps, rng.choice([16, 32, 64, 128])


def main(argv=None):
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--first", type=int, default=0)
    parser.add_argument("--count", type=int, default=20)
    parser.add_argument("--camcorder", action="store_true", help="camcorder-like clips")
    args = parser.parse_args(argv)
    if not e2e.m2ts.have_ffmpeg():
        print("skipped: ffmpeg is not installed")
        return e2e.SKIP
    os.makedirs(args.work, exist_ok=True)
    failed = 0
    for trial in range(args.first, args.first + args.count):
        recordings, steps, kib = history(trial, args.camcorder)
        failures = e2e.Failures()
        try:
            e2e.check_card([os.path.abspath(args.binary)], args.work, kib, failures,
                           "camcorder" if args.camcorder else "ffmpeg",
                           recordings=recordings, scenario=steps, image_mib=16, seed=trial)
        except RuntimeError as error:  # the card filled up: no trial
            print("trial %d: %s" % (trial, error))
            continue
        for message in failures.messages:
            print("trial %d: %s" % (trial, message.splitlines()[0]))
        failed += bool(failures.messages)
    print("%d of %d trials with failures" % (failed, args.count))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
