#!/usr/bin/env python3
"""Property test of the rebuild over card images drawn from seeds (tests/fixtures/stream_model.py).

  stream_model_cards.py --binary BIN --work DIR [--first N] [--count N] [--cache DIR] [--keep]

First the real Sony recording (tests/fixtures/real/) lies whole at 1 MiB on an empty image and on
a card, then cut into 2 to 4 extents among drawn recordings. Then for every seed a card is drawn (its recordings each a draw of stamps, pictures, audio, tables and
dates; laid whole, in out-of-order extents among other data, or one after another), recovered with
mtsrescue-cli, and every file in DEST/clips is checked against the recordings:
  - every recording whose bytes all lie on the card comes back byte-identical, in one file, named
    by the date of its first picture when it carries one;
  - no file mixes recordings: each is one unbroken, in-order stretch of one recording's packets
    (it may end with its last packet cut, the rest of that packet bytes of no recording: a cut
    that the stream did not show, counted apart);
  - every file that is not its recording byte for byte decodes with `ffmpeg -v error` silent,
    except one of a truly cut recording.
Prints recall, whole, exact, wrong joins and decode errors; exit code 1 on any failure, 77 when
ffmpeg is missing.
"""

import argparse
import json
import os
import resource
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures"))
import stream_model  # noqa: E402

SKIP = 77
PACKET = 192


class Figures:
    def __init__(self):
        self.recordings = self.intact = self.exact = self.whole = self.wrong = self.decode_errors = 0
        self.cut_decode_errors = self.kept_cut_packets = 0
        self.packets_on_card = self.packets_back = 0
        self.cpu_seconds = 0.0
        self.failures = []

    def add(self, other):
        for name, value in vars(other).items():
            if name == "failures":
                self.failures += value
            else:
                setattr(self, name, getattr(self, name) + value)

    def line(self):
        recall = self.packets_back / self.packets_on_card if self.packets_on_card else 1.0
        return ("recordings %d (%d lying whole), recall %.4f, whole %d, exact %d of %d lying whole, "
                "wrong joins %d, files ending in a kept cut packet %d, decode errors %d (and %d at truly cut "
                "ends), CPU of the runs %.1f s" % (
                    self.recordings, self.intact, recall, self.whole, self.exact, self.intact, self.wrong,
                    self.kept_cut_packets, self.decode_errors, self.cut_decode_errors, self.cpu_seconds))


def packets(data):
    return [bytes(data[i:i + PACKET]) for i in range(0, len(data) - PACKET + 1, PACKET)]


def owner_of(data, datas, index):
    """(recording, first packet, whether its last packet is cut) of which data is one unbroken
    stretch, or None. The stretch may end with a packet whose bytes after its header are not the
    recording's: a cut the stream did not show, the packet kept whole."""
    first = bytes(data[:PACKET])
    for r, k in index.get(first, []):
        original = datas[r]
        at = k * PACKET
        if original[at:at + len(data)] == data:
            return r, k, False
        if len(data) > PACKET and original[at:at + len(data) - PACKET] == data[:-PACKET] \
                and original[at + len(data) - PACKET:at + len(data) - PACKET + 8] == data[-PACKET:-PACKET + 8] \
                and data[-PACKET:] not in index:
            return r, k, True
    return None


def check_card(binary, image_path, manifest, datas, dest, decode=True):
    figures = Figures()
    label = "seed %d (%s, %d KiB clusters): " % (manifest["seed"], manifest["layout"], manifest["cluster_bytes"] // 1024)
    shutil.rmtree(dest, ignore_errors=True)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    run = subprocess.run([binary, "--json", "-q", image_path, dest], capture_output=True, timeout=1800)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    figures.cpu_seconds = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if run.returncode != 0:
        figures.failures.append(label + "exit code %d: %s" % (run.returncode, run.stderr.decode()[-400:]))
        return figures
    report = json.loads(run.stdout)
    folder = os.path.join(dest, "clips")
    files = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    rebuilt = {}
    for name in files:
        with open(os.path.join(folder, name), "rb") as f:
            rebuilt[name] = f.read()
    intact = [r["intact"] for r in manifest["recordings"]]
    index = {}
    for r, data in enumerate(datas):
        for k, p in enumerate(packets(data)):
            index.setdefault(p, []).append((r, k))

    found = [set() for _ in datas]
    for name, data in rebuilt.items():
        owner = owner_of(data, datas, index) if len(data) % PACKET == 0 else None
        if owner is None:
            figures.wrong += 1
            figures.failures.append(label + "clips/%s is no unbroken stretch of one recording" % name)
            continue
        r, k, cut = owner
        figures.kept_cut_packets += cut
        found[r].update(range(k, k + len(data) // PACKET))
        # A file that is its recording byte for byte decodes as the recording does: only others
        # tell anything about the rebuild.
        if decode and shutil.which("ffmpeg") and data != datas[r]:
            result = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", os.path.join(folder, name),
                                     "-f", "null", "-"], capture_output=True, text=True, timeout=600)
            if result.returncode != 0 or result.stderr.strip():
                if intact[r]:
                    figures.decode_errors += 1
                    figures.failures.append(label + "clips/%s does not decode cleanly: %s" % (
                        name, result.stderr.strip()[:200]))
                else:
                    figures.cut_decode_errors += 1

    for r, (entry, data) in enumerate(zip(manifest["recordings"], datas)):
        model = entry["model"]
        figures.recordings += 1
        count = len(data) // PACKET
        on_card = set(range(count))
        if not entry["intact"]:
            at, length = entry["overwritten"]
            for image_at, rec_at, extent_length in entry["extents"]:
                if image_at == at:
                    first, last = rec_at // PACKET, (rec_at + extent_length - 1) // PACKET
                    on_card -= set(range(first, last + 1))
        figures.packets_on_card += len(on_card)
        figures.packets_back += len(found[r] & on_card)
        figures.whole += on_card <= found[r]
        if not entry["intact"]:
            continue
        figures.intact += 1
        names = [name for name, got in rebuilt.items() if got == data]
        if not names:
            figures.failures.append(label + "recording %d (%s, %s stamps) lies whole but did not come back "
                                    "byte-identical (%d of %d packets back)" % (
                                        r, model["video"], model["stamps"], len(found[r]), count))
            continue
        figures.exact += 1
        if model["mdpm"] != "none":
            stamp = model["date"].replace("T", " ").replace(":", "-")
            if not any(name.startswith(stamp) for name in names):
                figures.failures.append(label + "recording %d came back as %s, not named by its date %s" % (
                    r, names, stamp))
    dropped = report["clips"]["dropped"]
    if figures.intact == figures.recordings and dropped:
        figures.failures.append(label + "chains dropped on a card whose recordings all lie whole: %s" % (
            [(d["reason"], d["bytes"]) for d in dropped]))
    return figures


def real_cards(cache):
    """The real Sony recording whole on an empty image, and cut into 2 to 4 extents among drawn
    recordings and other data: (seed, layout) for card()."""
    if not os.path.exists(stream_model.SONY):
        print("the real Sony recording is missing: %s" % stream_model.SONY)
        return []
    return [(9000, "alone"), (9001, "whole"), (9002, "fragmented"), (9003, "fragmented"), (9004, "fragmented")]


def run_seeds(binary, work, cache, seeds, keep=False, decode=True, progress=None):
    """seeds: card seeds, or (seed, layout) for a card that holds the real recording."""
    total = Figures()
    for seed in seeds:
        if isinstance(seed, tuple):
            seed, layout = seed
            image, manifest, datas = stream_model.card(seed, cache, recordings=3 if layout == "fragmented" else 1,
                                                       layout=layout, real=True)
        else:
            image, manifest, datas = stream_model.card(seed, cache)
        image_path = os.path.join(work, "card%d.img" % seed)
        with open(image_path, "wb") as f:
            f.write(image)
        figures = check_card(binary, image_path, manifest, datas, os.path.join(work, "out%d" % seed), decode)
        total.add(figures)
        for message in figures.failures:
            print("FAIL: " + message, flush=True)
        if progress:
            progress(seed, total)
        if not keep:
            os.unlink(image_path)
            shutil.rmtree(os.path.join(work, "out%d" % seed), ignore_errors=True)
    return total


def main(argv=None):
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--cache", help="encoded pictures, reused (default: WORK/pictures)")
    parser.add_argument("--first", type=int, default=1)
    parser.add_argument("--count", type=int, default=24)
    parser.add_argument("--keep", action="store_true", help="keep the card images and outputs")
    args = parser.parse_args(argv)
    if not stream_model.m2ts.have_ffmpeg():
        print("skipped: ffmpeg is not installed")
        return SKIP
    os.makedirs(args.work, exist_ok=True)
    started = time.time()
    cache = args.cache or os.path.join(args.work, "pictures")
    seeds = real_cards(cache) + list(range(args.first, args.first + args.count))
    total = run_seeds(os.path.abspath(args.binary), args.work, cache, seeds, args.keep)
    print("%d cards in %.0f s: %s" % (len(seeds), time.time() - started, total.line()))
    return 1 if total.failures else 0


if __name__ == "__main__":
    sys.exit(main())
