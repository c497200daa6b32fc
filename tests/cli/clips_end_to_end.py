#!/usr/bin/env python3
"""End-to-end runs of mtsrescue-cli on card images whose recordings lie in pieces.

  clips_end_to_end.py --binary BIN --work DIR [--cluster-kib N ...] [--camcorder-kib N ...]

For each cluster size a card is made by tests/fixtures/make_fragmented_card.py and recovered: of
ffmpeg's recordings (--cluster-kib), and of camcorder-like ones (--camcorder-kib: open GOPs, no
random-access flag, bursty stamps, the extra PIDs); and one camcorder-like recording lies whole on
an otherwise empty image. Then every rebuilt recording in DEST/clips (whatever its name) is checked
against the original files:
  - every recording whose bytes all survived comes back byte-identical, in one file;
  - no rebuilt file holds packets of two recordings, or a recording's packets out of order or
    with a gap; a recording whose head was overwritten comes back as its surviving part from
    the first picture that can be shown on;
  - every rebuilt file decodes with `ffmpeg -v error` printing nothing, but where a cut ends it;
  - the numbered fragment files are the same with and without the rebuilding (--no-clips).
Exit code 77: skipped (ffmpeg missing); the reason is printed.
"""

import argparse
import filecmp
import json
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures"))
import camcorder  # noqa: E402
import m2ts  # noqa: E402
import make_fragmented_card  # noqa: E402

SKIP = 77
PACKET = 192


def packets(data):
    return [bytes(data[i:i + PACKET]) for i in range(0, len(data) - PACKET + 1, PACKET)]


def random_access_packets(data):
    """Indexes of the packets of the picture PID (the busiest one) that start a payload unit at
    a random-access point: where decoding can begin."""
    pids = {}
    for p in packets(data):
        pid = ((p[5] & 0x1F) << 8) | p[6]
        pids[pid] = pids.get(pid, 0) + 1
    pids.pop(0x1FFF, None)
    video = max(pids, key=pids.get)
    found = []
    for k, p in enumerate(packets(data)):
        ts = p[4:]
        pid = ((ts[1] & 0x1F) << 8) | ts[2]
        if pid == video and ts[1] & 0x40 and ts[3] & 0x20 and ts[4] > 0 and ts[5] & 0x40:
            found.append(k)
    return found


def video_unit_starts(data):
    """Indexes of the packets of the picture PID that start a payload unit (a picture)."""
    pids = {}
    for p in packets(data):
        pid = ((p[5] & 0x1F) << 8) | p[6]
        pids[pid] = pids.get(pid, 0) + 1
    pids.pop(0x1FFF, None)
    video = max(pids, key=pids.get)
    return [k for k, p in enumerate(packets(data))
            if (((p[5] & 0x1F) << 8) | p[6]) == video and p[5] & 0x40]


def surviving_packets(recording, cluster_bytes):
    """Per packet of the recording: True when all its bytes still lie on the card."""
    from_byte = [c["survives_from"] for c in recording["clusters"]]
    result = []
    for k in range(recording["bytes"] // PACKET):
        ok = True
        for at in (k * PACKET, k * PACKET + PACKET - 1):
            cluster, within = divmod(at, cluster_bytes)
            ok = ok and within >= from_byte[cluster]
        first, last = k * PACKET // cluster_bytes, (k * PACKET + PACKET - 1) // cluster_bytes
        ok = ok and all(f == 0 for f in from_byte[first + 1:last + 1])
        result.append(ok)
    return result


class Failures:
    def __init__(self):
        self.messages = []

    def check(self, condition, message):
        if not condition:
            self.messages.append(message)
        return condition


def host(path, command):
    """A path that the binary reported, as this system opens it: a Windows build run through Wine
    reports "\\" where the file system here has "/"."""
    return path.replace("\\", "/") if command[-1].lower().endswith(".exe") else path


def check_card(command, work, cluster_kib, failures, kind="ffmpeg", **card_options):
    """kind: "ffmpeg" or "camcorder" recordings through the card history, or "whole": one
    camcorder recording alone on a blank image."""
    name = "%s%d" % (kind, cluster_kib)
    image = os.path.join(work, "card_%s.img" % name)
    if kind != "ffmpeg":
        card_options.setdefault("recordings", make_fragmented_card.CAMCORDER_RECORDINGS)
    if kind == "whole":
        card_options.update(scenario=[("record", "rec3")], blank=True)
        card_options["recordings"] = [r for r in card_options["recordings"] if r[0] == "rec3"]
    folder = os.path.join(work, "recordings" if kind == "ffmpeg" else "camcorder")
    manifest = make_fragmented_card.build(image, cluster_kib, folder, image + ".json", **card_options)
    cluster_bytes = manifest["cluster_bytes"]
    originals = {r["name"]: open(r["file"], "rb").read() for r in manifest["recordings"]}
    # Per recording, packet bytes -> index. Two recordings may share a packet (same stamps, same
    # table packet), so a file's owner is the recording of which it is one unbroken stretch.
    index_of = {name: {p: k for k, p in enumerate(packets(data))} for name, data in originals.items()}

    dest = os.path.join(work, "out_%s" % name)
    plain = os.path.join(work, "plain_%s" % name)
    for folder in (dest, plain):
        shutil.rmtree(folder, ignore_errors=True)
    run = subprocess.run([*command, "--json", "-q", image, dest], capture_output=True, timeout=300)
    label = "%s, %d KiB clusters: " % (kind, cluster_kib)
    if not failures.check(run.returncode == 0, label + "exit code %d: %s" % (run.returncode, run.stderr)):
        return
    report = json.loads(run.stdout)
    clips = report["clips"]
    # Found by listing, not by name: the names may say the recording date.
    folder = os.path.join(dest, "clips")
    files = sorted(os.path.join(folder, f) for f in os.listdir(folder)) if os.path.isdir(folder) else []
    failures.check(all(f.endswith(".MTS") for f in files), label + "not only .MTS files in clips/: %s" % files)
    failures.check(len(files) == len(clips["recordings"]),
                   label + "%d files in clips/, %d in the report" % (len(files), len(clips["recordings"])))
    print("%s%d recordings from %d pieces (%d joined), %d unjoined, cluster size seen: %d" % (
        label, len(files), clips["pieces"], clips["joined_pieces"], len(clips["unjoined_pieces"]),
        clips["cluster_bytes"]))

    rebuilt = {path: open(path, "rb").read() for path in files}
    # Every recording that survived whole is one of the files, byte for byte.
    for r in manifest["recordings"]:
        if r["intact"]:
            failures.check(any(data == originals[r["name"]] for data in rebuilt.values()),
                           label + "%s survived whole but did not come back byte-identical" % r["name"])

    # Each file: one unbroken, in-order stretch of one recording's packets. A recording cut by
    # overwriting may end with the packet the cut fell into, its bytes after the cut the
    # overwriting data: nothing in the stream shows where inside that packet the cut lies.
    intact = {r["name"]: r["intact"] for r in manifest["recordings"]}
    owners = {}
    for path, data in rebuilt.items():
        failures.check(len(data) % PACKET == 0, label + "%s is not whole packets" % path)
        first = bytes(data[:PACKET])
        owner = None
        for name, index in index_of.items():
            k = index.get(first)
            if k is None:
                continue
            original = originals[name][k * PACKET:k * PACKET + len(data)]
            if original == data or (not intact[name] and len(data) > PACKET and original[:-PACKET] == data[:-PACKET]
                                    and original[-PACKET:-PACKET + 8] == data[-PACKET:-PACKET + 8]):
                owner = (name, k)
        if owner is None:
            counts = {name: sum(1 for p in packets(data) if p in index) for name, index in index_of.items()}
            failures.check(False, label + "%s is no unbroken stretch of one recording (packets "
                           "matched per recording: %s, of %d)" % (
                               path, {n: c for n, c in counts.items() if c}, len(data) // PACKET))
            continue
        name, k = owner
        owners.setdefault(name, []).append((k, k + len(data) // PACKET, path))

    # A recording cut by overwriting comes back as its surviving parts: each stretch of it that
    # survived, from its first byte when that is the recording's first byte, else from the first
    # point where pictures can be decoded; to its end when that is the recording's end, else to
    # the start of the picture the cut fell into where the overwriting data shows the cut (it is
    # another recording's packets), or to the last packet whose header survived where it does
    # not (the stream may as well have ended there).
    for r in manifest["recordings"]:
        if r["intact"]:
            continue
        original = originals[r["name"]]
        alive = surviving_packets(r, cluster_bytes)
        access = random_access_packets(original) if kind == "ffmpeg" else camcorder.showable_packets(original)
        unit_starts = video_unit_starts(original)
        got = [(a, b) for a, b, _ in owners.get(r["name"], [])]
        k = 0
        while k < len(alive):
            if not alive[k]:
                k += 1
                continue
            stretch_start = k
            while k < len(alive) and alive[k]:
                k += 1
            stretch_end = k
            start = 0 if stretch_start == 0 else next(
                (a for a in access if stretch_start <= a < stretch_end), None)
            if start is None:
                continue
            ends = {stretch_end}
            if stretch_end < len(alive):
                # The cut falls into packet stretch_end, and into the picture begun last by then
                # (or the one before, for a cut right before a packet); without a sign of the cut
                # the stretch keeps packet stretch_end too when its header survived.
                ends |= {stretch_end + 1,
                         max([u for u in unit_starts if start <= u <= stretch_end], default=stretch_end),
                         max([u for u in unit_starts if start < u < stretch_end], default=stretch_end)}
            failures.check(any((start, end) in got for end in ends),
                           label + "%s (cut by overwriting) should come back as packets %d to %s; "
                           "files hold %s" % (r["name"], start, " or ".join(map(str, sorted(ends))), got))

    # A camcorder recording is named, stamped and reported by the date of its first picture that
    # carries one, as the fixture's own reading of the file finds it; one kept from its first
    # picture by the date the fixture wrote there.
    if kind != "ffmpeg":
        starts = {path: (name, k) for name, stretches in owners.items() for k, _, path in stretches}
        dates_by_name = {r["name"]: r["recorded"] for r in manifest["recordings"]}
        for r in clips["recordings"]:
            path = host(r["file"], command)
            dates = camcorder.mdpm_dates(rebuilt.get(path, b""))
            expected = dates[0] if dates else None
            owner = starts.get(path)
            if owner is not None and owner[1] == 0:
                failures.check(expected == dates_by_name[owner[0]],
                               label + "%s: first date %s, the recording's is %s" % (path, expected, dates_by_name[owner[0]]))
            failures.check(r["recorded"] == expected, label + "%s reported as recorded %s, its first date is %s" % (
                path, r["recorded"], expected))
            if expected is None:
                continue
            when = time.strptime(expected, "%Y-%m-%dT%H:%M:%S")
            failures.check(os.path.basename(path).startswith(time.strftime("%Y-%m-%d %H-%M-%S", when)),
                           label + "%s is not named by its date %s" % (path, expected))
            failures.check(int(os.stat(path).st_mtime) == int(time.mktime(when)),
                           label + "%s is not dated %s (local time)" % (path, expected))

    # Every rebuilt file decodes cleanly, but one that ends where overwriting cut a recording.
    cut_ends = {path for name, stretches in owners.items() for k, end, path in stretches
                if not intact[name] and end < len(originals[name]) // PACKET}
    for path in files:
        if path in cut_ends:
            continue
        decode = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"],
                                capture_output=True, text=True, timeout=300)
        failures.check(decode.returncode == 0 and decode.stderr.strip() == "",
                       label + "%s does not decode cleanly: %s" % (path, decode.stderr.strip()[:300]))

    # A recording that one fragment file holds exactly is that file under a second name; the
    # others are copies. Chains that gave no recording say why and where their bytes are.
    for r in clips["recordings"]:
        path = host(r["file"], command)
        if r["stored"] == "link":
            failures.check(os.path.samefile(path, host(r["linked_to"], command)),
                           label + "%s is said to be a link to %s but is not" % (path, r["linked_to"]))
        else:
            failures.check(os.stat(path).st_nlink == 1, label + "%s is a copy with other names" % path)
    for d in clips["dropped"]:
        failures.check(d["reason"] and d["pieces"] and all(os.path.exists(host(f, command)) for f in d["files"]),
                       label + "dropped chain without reason, pieces or existing files: %s" % d)
    failures.check(clips["all_rebuilt"] == (not clips["dropped"]), label + "all_rebuilt disagrees with dropped")

    # The numbered fragment files do not depend on the rebuilding.
    run = subprocess.run([*command, "-q", "--no-clips", image, plain], capture_output=True, timeout=300)
    failures.check(run.returncode == 0, label + "--no-clips run failed: %s" % run.stderr)
    failures.check(not os.path.exists(os.path.join(plain, "clips")), label + "--no-clips made clips/")
    top = sorted(f for f in os.listdir(dest) if f != "clips")
    failures.check(top == sorted(os.listdir(plain)), label + "fragment files differ in name")
    for name in top:
        failures.check(filecmp.cmp(os.path.join(dest, name), os.path.join(plain, name), shallow=False),
                       label + "fragment file %s differs" % name)


def check_fat_destination(command, work, failures):
    """On a FAT destination (a vfat image mounted through fusefat) no hard link can be made: the
    recordings are copies, the same bytes as on a file system with links. Skipped, with a message,
    where fusefat is missing or cannot mount."""
    if shutil.which("fusefat") is None or shutil.which("mkfs.vfat") is None or not os.path.exists("/dev/fuse"):
        print("FAT destination skipped: fusefat, mkfs.vfat or /dev/fuse missing")
        return
    fat = os.path.join(work, "dest-fat.img")
    mount = os.path.join(work, "fat")
    with open(fat, "wb") as image:
        image.truncate(64 << 20)
    subprocess.run(["mkfs.vfat", fat], check=True, capture_output=True)
    os.makedirs(mount, exist_ok=True)
    if subprocess.run(["fusefat", "-o", "rw+", fat, mount], capture_output=True, timeout=60).returncode != 0:
        print("FAT destination skipped: fusefat cannot mount here")
        return
    try:
        image = os.path.join(work, "card_ffmpeg32.img")
        run = subprocess.run([*command, "--json", "-q", image, os.path.join(mount, "out")], capture_output=True,
                             timeout=300)
        if not failures.check(run.returncode == 0, "FAT destination: exit code %d: %s" % (run.returncode, run.stderr)):
            return
        on_fat = json.loads(run.stdout)["clips"]["recordings"]
        failures.check(all(r["stored"] == "copy" for r in on_fat), "FAT destination: a recording said to be linked")
        for r in on_fat:
            name = os.path.basename(host(r["file"], command))
            failures.check(filecmp.cmp(host(r["file"], command), os.path.join(work, "out_ffmpeg32", "clips", name),
                                       shallow=False), "FAT destination: %s differs from the linked run's" % name)
        print("FAT destination: %d recordings copied" % len(on_fat))
    finally:
        subprocess.run(["fusermount", "-u", mount], capture_output=True)


def main(argv=None):
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--runner", help="runs the binary (Wine for a Windows build)")
    parser.add_argument("--cluster-kib", type=int, nargs="*", default=[16, 32, 128])
    parser.add_argument("--camcorder-kib", type=int, nargs="*", default=[16, 64])
    args = parser.parse_args(argv)
    if not m2ts.have_ffmpeg():
        print("skipped: ffmpeg is not installed")
        return SKIP
    os.makedirs(args.work, exist_ok=True)
    failures = Failures()
    command = ([args.runner] if args.runner else []) + [os.path.abspath(args.binary)]
    for kib in args.cluster_kib:
        check_card(command, args.work, kib, failures)
    for kib in args.camcorder_kib:
        check_card(command, args.work, kib, failures, "camcorder")
    if args.camcorder_kib:
        check_card(command, args.work, 32, failures, "whole")
    if 32 in args.cluster_kib and not args.runner:
        check_fat_destination([os.path.abspath(args.binary)], args.work, failures)
    for message in failures.messages:
        print("FAIL: " + message)
    return 1 if failures.messages else 0


if __name__ == "__main__":
    sys.exit(main())
