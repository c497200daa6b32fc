#!/usr/bin/env python3
"""Benchmarks of mtsrescue-cli (see bench/README.md for what each measures and its goal).

  run_benchmarks.py [--binary build/cli/mtsrescue-cli] [--work /tmp/mtsrescue-bench]
                    [throughput] [memory] [photorec]        (default: all three)

Big images are built in --work from camcorder-like clips laid end to end, each copy re-stamped
with a fresh arrival-clock origin, and deleted afterwards.
"""

import argparse
import json
import os
import random
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, os.path.join(ROOT, "tests", "fixtures"))
import m2ts  # noqa: E402
import make_card  # noqa: E402

GIB = 1 << 30
MIB = 1 << 20
PACKET = 192


def say(text):
    print(text, flush=True)


def base_clips(work, count=6, seconds=20):
    """Distinct clips to repeat; made once and kept in work/clips."""
    folder = os.path.join(work, "clips")
    os.makedirs(folder, exist_ok=True)
    clips = []
    for seed in range(count):
        path = os.path.join(folder, "base%d.MTS" % seed)
        if not os.path.exists(path):
            m2ts.make_clip(path, seconds, 100 + seed, 0)
        with open(path, "rb") as f:
            clips.append(f.read())
    return clips


def stream_image(work, total_bytes, clips):
    """total_bytes (rounded down to whole packets) of clips end to end, each copy re-stamped."""
    path = os.path.join(work, "stream-%dGiB.img" % (total_bytes // GIB))
    if os.path.exists(path) and os.path.getsize(path) == total_bytes - total_bytes % PACKET:
        return path
    rng = random.Random(total_bytes)
    written = 0
    started = time.monotonic()
    with open(path + ".part", "wb") as f:
        while written + PACKET <= total_bytes:
            clip = clips[rng.randrange(len(clips))]
            room = (total_bytes - written) // PACKET * PACKET
            data = m2ts.rewrite_stamps(clip[:room], rng.randrange(m2ts.STAMP_MODULUS),
                                       m2ts.DEFAULT_MUXRATE)
            f.write(data)
            written += len(data)
    os.replace(path + ".part", path)
    say("  built %s: %d bytes in %.0f s" % (path, written, time.monotonic() - started))
    return path


def timed(command, stdout=None, stderr=None, **kwargs):
    """Runs command; returns (wall seconds, CPU seconds of the child, exit code, stderr bytes)."""
    started = time.perf_counter()
    process = subprocess.Popen(command, stdout=stdout, stderr=stderr, **kwargs)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - started
    err = process.stderr.read() if process.stderr else b""
    process.returncode = os.waitstatus_to_exitcode(status)
    return wall, usage.ru_utime + usage.ru_stime, process.returncode, err


def throughput(binary, work, clips, runs=7):
    say("== Scan throughput: mtsrescue-cli --dry-run --quiet vs cat, 2 GiB in the page cache")
    image = stream_image(work, 2 * GIB, clips)
    size = os.path.getsize(image)
    cat = ["sh", "-c", 'exec cat "$1" > /dev/null', "sh", image]
    scan = [binary, "--dry-run", "--quiet", image]
    for _ in range(2):  # warm the page cache
        subprocess.run(cat, check=True)
    figures = {"bytes": size}
    for name, command in (("cat", cat), ("scan", scan)):
        figures[name] = {"wall": [], "cpu": []}
    for _ in range(runs):  # alternate so that both see the same machine state
        for name, command in (("cat", cat), ("scan", scan)):
            wall, cpu, code, err = timed(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            if code != 0:
                raise SystemExit("%s failed: %s" % (command[0], err.decode()))
            figures[name]["wall"].append(wall)
            figures[name]["cpu"].append(cpu)
    for kind in ("wall", "cpu"):
        cat_rate = size / min(figures["cat"][kind]) / 1e6
        scan_rate = size / min(figures["scan"][kind]) / 1e6
        ratio = scan_rate / cat_rate
        say("  %-4s time, best of %d: cat %.3f s (%.0f MB/s), mtsrescue-cli %.3f s (%.0f MB/s): "
            "%.2f of cat (goal >= 0.90): %s" % (
                kind, runs, min(figures["cat"][kind]), cat_rate, min(figures["scan"][kind]),
                scan_rate, ratio, "met" if ratio >= 0.9 else "NOT MET"))
        figures["ratio_" + kind] = ratio
    say("  all wall times: cat %s, mtsrescue-cli %s" % (fmt(figures["cat"]["wall"]),
                                                         fmt(figures["scan"]["wall"])))
    return figures


def fmt(values):
    return "[" + ", ".join("%.3f" % v for v in values) + "]"


def max_rss_kib(command):
    result = subprocess.run(["/usr/bin/time", "-v", *command], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        raise SystemExit("%s failed: %s" % (command[0], result.stderr[-2000:]))
    match = re.search(r"Maximum resident set size \(kbytes\): (\d+)", result.stderr)
    elapsed = re.search(r"Elapsed \(wall clock\) time.*: (\S+)", result.stderr)
    return int(match.group(1)), elapsed.group(1) if elapsed else "?"


def memory(binary, work, clips):
    say("== Peak memory (max RSS) of --dry-run over unbroken stream data")
    if not os.path.exists("/usr/bin/time"):
        raise SystemExit("/usr/bin/time is missing (Debian: apt-get install -y time)")
    rows = []
    for gib in (2, 8):
        image = stream_image(work, gib * GIB, clips)
        kib, elapsed = max_rss_kib([binary, "--dry-run", "--quiet", image])
        say("  %d GiB: max RSS %.1f MiB (wall %s)" % (gib, kib / 1024, elapsed))
        rows.append({"gib": gib, "max_rss_kib": kib})
        if gib == 8:
            os.unlink(image)  # the 2 GiB image may be reused; 8 GiB is too much to keep
    worst = max(r["max_rss_kib"] for r in rows) / 1024
    growth = (rows[1]["max_rss_kib"] - rows[0]["max_rss_kib"]) / 1024
    say("  worst %.1f MiB (goal <= 64 MiB): %s; 2 -> 8 GiB grew by %.1f MiB" % (
        worst, "met" if worst <= 64 else "NOT MET", growth))
    return rows


def packet_keys(path):
    """Hashes of the 192-byte packets of a recovered file (at every offset whose packet and the
    next carry sync bytes), so that a clip's packets can be looked up whatever file holds them."""
    keys = set()
    with open(path, "rb") as f:
        data = f.read()
    i = data.find(b"\x47", 4)
    while i != -1:
        start = i - 4
        if start + PACKET <= len(data) and (start + PACKET + 4 >= len(data) or
                                            data[start + PACKET + 4] == 0x47):
            keys.add(hash(data[start:start + PACKET]))
            i = data.find(b"\x47", start + PACKET + 4)
        else:
            i = data.find(b"\x47", i + 1)
    return keys


def score(folder, manifest):
    """What a tool left in folder: files, bytes, and per clip (recovered packets, packets of the
    clip still on the card)."""
    keys = set()
    files = 0
    total = 0
    for dirpath, _, names in os.walk(folder):
        for name in names:
            if name.lower().endswith((".mts", ".ts", ".m2ts")):
                path = os.path.join(dirpath, name)
                files += 1
                total += os.path.getsize(path)
                keys |= packet_keys(path)
    per_clip = {}
    for clip in manifest["clips"]:
        with open(clip["file"], "rb") as f:
            original = f.read()
        found = recoverable = 0
        for ext in clip["extents"]:
            first = -(-ext["clip_offset"] // PACKET) * PACKET
            for at in range(first, ext["clip_offset"] + ext["length"] - PACKET + 1, PACKET):
                recoverable += 1
                found += hash(original[at:at + PACKET]) in keys
        per_clip[clip["name"]] = (found, recoverable)
    return files, total, per_clip


def photorec(binary, work, runs=3):
    say("== Whole recovery of a card image: mtsrescue-cli vs PhotoRec (m2ts only)")
    if shutil.which("photorec") is None:
        raise SystemExit("photorec is missing (Debian: apt-get install -y testdisk)")
    card = os.path.join(work, "card.img")
    manifest_path = os.path.join(work, "card.json")
    started = time.monotonic()
    manifest = make_card.make_card(card, manifest_path, os.path.join(work, "card-clips"),
                                   size_mib=200, seed=7, scale=8)
    say("  card: %s, %d MiB, %d clips (%d deleted, %d split), made in %.0f s" % (
        card, manifest["image_bytes"] // MIB, len(manifest["clips"]),
        sum(c["deleted"] for c in manifest["clips"]),
        sum(len(c["extents"]) > 1 for c in manifest["clips"]), time.monotonic() - started))
    for _ in range(2):
        subprocess.run(["sh", "-c", 'cat "$1" > /dev/null', "sh", card], check=True)

    ours = os.path.join(work, "ours")
    theirs = os.path.join(work, "photorec")
    commands = {
        "mtsrescue-cli": [binary, "--quiet", card, ours],
        "PhotoRec 7.1": ["photorec", "/log", "/d", os.path.join(theirs, "rec"), "/cmd", card,
                         "partition_none,fileopt,everything,disable,m2ts,enable,wholespace,search"],
    }
    folders = {"mtsrescue-cli": ours, "PhotoRec 7.1": theirs}
    times = {name: [] for name in commands}
    for _ in range(runs):  # alternate; each run starts from an empty folder
        for name, command in commands.items():
            shutil.rmtree(folders[name], ignore_errors=True)
            os.makedirs(theirs, exist_ok=True)
            wall, _, code, err = timed(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                       cwd=work, env=dict(os.environ, TERM=os.environ.get("TERM", "xterm")))
            if code != 0:
                raise SystemExit("%s failed (%d): %s" % (name, code, err.decode()[-2000:]))
            times[name].append(wall)

    rows = {}
    for name in commands:
        files, total, per_clip = score(folders[name], manifest)
        found = sum(f for f, _ in per_clip.values())
        recoverable = sum(r for _, r in per_clip.values())
        rows[name] = {"seconds": times[name], "files": files, "bytes": total, "per_clip": per_clip}
        say("  %-14s best %.2f s of %s  %2d files  %6.1f MiB  clip packets recovered: %d of %d "
            "still on the card (%.1f%%)" % (name, min(times[name]), fmt(times[name]), files,
                                            total / MIB, found, recoverable,
                                            100.0 * found / max(1, recoverable)))
    say("  per clip (recovered % of what is still on the card; * deleted, + split):")
    for clip in manifest["clips"]:
        marks = ("*" if clip["deleted"] else "") + ("+" if len(clip["extents"]) > 1 else "")
        cells = []
        for name in commands:
            found, recoverable = rows[name]["per_clip"][clip["name"]]
            cells.append("%s %5.1f%%" % (name, 100.0 * found / recoverable) if recoverable
                         else "%s   -   " % name)
        say("    %-11s %s" % (clip["name"] + marks, "   ".join(cells)))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", default=os.path.join(ROOT, "build", "cli", "mtsrescue-cli"))
    parser.add_argument("--work", default="/tmp/mtsrescue-bench")
    parser.add_argument("--keep", action="store_true", help="keep the images in --work")
    parser.add_argument("--json", help="also write the figures to this file")
    parser.add_argument("which", nargs="*", default=["throughput", "memory", "photorec"])
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    if not os.access(binary, os.X_OK):
        raise SystemExit("no mtsrescue-cli at %s (build it first, or pass --binary)" % binary)
    os.makedirs(args.work, exist_ok=True)
    figures = {}
    try:
        clips = base_clips(args.work) if {"throughput", "memory"} & set(args.which) else None
        if "throughput" in args.which:
            figures["throughput"] = throughput(binary, args.work, clips)
        if "memory" in args.which:
            figures["memory"] = memory(binary, args.work, clips)
        if "photorec" in args.which:
            figures["photorec"] = photorec(binary, args.work)
    finally:
        if not args.keep:
            shutil.rmtree(args.work, ignore_errors=True)
    if args.json:
        with open(args.json, "w") as f:
            json.dump(figures, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
