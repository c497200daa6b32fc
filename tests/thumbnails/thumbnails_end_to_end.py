#!/usr/bin/env python3
"""End-to-end runs of mtsrescue-cli --thumbnails on a card image of camcorder-like recordings.

  thumbnails_end_to_end.py --binary BIN --work DIR [--runner WINE] --run | Colours | Page | Placeholder

--run makes the recordings (tests/fixtures/camcorder.py: each seed draws its own pattern in its own
hue), lays them on a card image between random bytes, in an order other than the one they were
recorded in, and recovers it with --thumbnails --json into DIR/dest (the report: DIR/report.json).
The cases then check what that run wrote:
  Colours      each recording's picture against ffmpeg's own decoding of the same frame of the
               original file (its top field, shrunk the same way): the mean colour matches, and
               matches no other recording's; 1440x1080 with 4:3 samples is shown 16:9; an
               interlaced picture whose two fields differ shows one field, not the two mixed;
               the picture is taken 3 s in, or from the middle of a shorter recording.
  Page         DEST/index.html lists every recording in the order recorded, each with its picture,
               date, length, size and a link to its file, all relative and all there; no script,
               nothing from the net. With Chromium installed, the page is drawn headless and the
               screenshot (DIR/page.png) must show the pictures.
  Placeholder  a recording whose slices are garbage (its headers intact, so it is rebuilt) gets
               the plain grey picture and a note, and the run still succeeds.
Exit code 77: skipped (ffmpeg missing); the reason is printed.
"""

import argparse
import html.parser
import json
import os
import random
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures"))
import camcorder  # noqa: E402
import m2ts  # noqa: E402

SKIP = 77
PACKET = 192
FRAME_SECONDS = 1001 / 30000
TOP_FIELD_RED = ("color=c=black:size=640x352:rate=60000/1001,format=yuv420p,"
                 "geq=lum='if(mod(N,2),170,82)':cb='if(mod(N,2),166,90)':cr='if(mod(N,2),16,240)',"
                 "tinterlace=mode=interleave_top")

# name: (seed, seconds, recording date, size, samples' aspect, picture graph, garbled)
RECORDINGS = {
    "bars": (2, 3, "2025-07-01T12:00:00", "640x352", None, None, False),
    "testsrc": (0, 4, "2025-06-01T10:00:00", "640x352", None, None, False),
    "mandelbrot": (1, 8, "2025-05-01T09:00:00", "640x352", None, None, False),
    "rgb": (5, 4, "2025-04-01T08:00:00", "640x352", None, None, False),
    "anamorphic": (6, 3, "2025-08-01T18:30:00", "1440x1080", "4:3", None, False),
    "fields": (9, 3, "2025-03-01T07:00:00", "640x352", None, TOP_FIELD_RED, False),
    "garbled": (3, 3, "2025-09-01T20:00:00", "640x352", None, None, True),
}
CARD_ORDER = ["bars", "testsrc", "garbled", "mandelbrot", "rgb", "anamorphic", "fields"]


def clip_name(date):
    return date.replace("T", " ").replace(":", "-") + ".MTS"


def garble(data, seed):
    """The recording with every video packet that does not begin a PES packet filled with random
    bytes: headers, parameter sets, dates and the first bytes of each picture stay."""
    rng = random.Random(seed)
    out = bytearray(data)
    for k in range(len(out) // PACKET):
        ts = out[k * PACKET + 4:(k + 1) * PACKET]
        pid = ((ts[1] & 0x1F) << 8) | ts[2]
        if pid != camcorder.VIDEO_PID or ts[1] & 0x40:
            continue
        start = 4 + (1 + ts[4] if ts[3] & 0x20 else 0)
        for i in range(start, 188):
            out[k * PACKET + 4 + i] = rng.randrange(256)
    return bytes(out)


def make_recordings(work):
    folder = os.path.join(work, "recordings")
    os.makedirs(folder, exist_ok=True)
    files = {}
    for name, (seed, seconds, date, size, sar, picture, garbled) in RECORDINGS.items():
        path = os.path.join(folder, name + ".MTS")
        key = repr((seed, seconds, date, size, sar, picture, garbled))
        if not (os.path.exists(path) and open(path + ".key").read() == key):
            data = camcorder.make_recording(path, seconds, seed, stamp_origin=seed * 37_000_000, date=date,
                                            size=size, sar=sar, picture=picture)
            if garbled:
                with open(path, "wb") as f:
                    f.write(garble(data, seed))
            with open(path + ".key", "w") as f:
                f.write(key)
        files[name] = path
    return files


def make_card(path, files):
    """The recordings one after another, each at a sector boundary, random bytes around them."""
    rng = random.Random(23)
    with open(path, "wb") as card:
        card.write(rng.randbytes(64 * 1024))
        for name in CARD_ORDER:
            data = open(files[name], "rb").read()
            card.write(data + rng.randbytes(-len(data) % 512))
            card.write(rng.randbytes(96 * 1024))


def host(path, runner):
    """A path as the binary reported it, as this system opens it (Wine reports "\\")."""
    return path.replace("\\", "/") if runner else path


def run(args):
    if not m2ts.have_ffmpeg():
        print("skipped: ffmpeg is not installed (Debian: apt-get install -y ffmpeg)")
        return SKIP
    os.makedirs(args.work, exist_ok=True)
    files = make_recordings(args.work)
    card = os.path.join(args.work, "card.img")
    make_card(card, files)
    dest = os.path.join(args.work, "dest")
    shutil.rmtree(dest, ignore_errors=True)
    command = ([args.runner] if args.runner else []) + [args.binary, "--thumbnails", "--json", card, dest]
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    with open(os.path.join(args.work, "report.json"), "wb") as f:
        f.write(done.stdout)
    with open(os.path.join(args.work, "stderr.txt"), "wb") as f:
        f.write(done.stderr)
    with open(os.path.join(args.work, "manifest.json"), "w") as f:
        json.dump({"files": files, "exit_code": done.returncode}, f)
    print("recovered %s: exit code %d" % (card, done.returncode))
    return 0 if done.stdout else 1


def load(args):
    manifest = json.load(open(os.path.join(args.work, "manifest.json")))
    report = json.load(open(os.path.join(args.work, "report.json")))
    pictures = {}
    for entry in report["thumbnails"]["pictures"]:
        if entry["recording"]:
            pictures[os.path.basename(host(entry["file"], args.runner))] = entry
    by_name = {name: pictures.get(clip_name(RECORDINGS[name][2])) for name in RECORDINGS}
    return manifest, report, by_name


def rgb_frames(path, filters):
    """Mean (r, g, b) of each frame ffmpeg decodes from path through filters, with its size."""
    probe = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:v:0", "-vf", filters, "-fps_mode",
                            "passthrough", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True)
    return probe.stdout


def means(raw, width, height):
    size = width * height * 3
    result = []
    for k in range(len(raw) // size):
        frame = raw[k * size:(k + 1) * size]
        result.append(tuple(sum(frame[c::3]) / (width * height) for c in range(3)))
    return result


def picture(path):
    """(width, height, mean colour, spread of the grey level) of a picture file, read by ffmpeg."""
    probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=width,height", "-of", "json", path],
                           stdout=subprocess.PIPE, check=True)
    stream = json.loads(probe.stdout)["streams"][0]
    width, height = stream["width"], stream["height"]
    raw = rgb_frames(path, "null")
    mean = means(raw, width, height)[0]
    greys = [sum(raw[i:i + 3]) / 3 for i in range(0, width * height * 3, 3)]
    average = sum(greys) / len(greys)
    spread = (sum((g - average) ** 2 for g in greys) / len(greys)) ** 0.5
    return width, height, mean, spread


def distance(a, b):
    return max(abs(x - y) for x, y in zip(a, b))


def check_colours(args):
    manifest, report, entries = load(args)
    failures = []
    seen = {}
    references = {}
    for name, (seed, seconds, date, size, sar, graph, garbled) in RECORDINGS.items():
        if garbled:
            continue
        entry = entries[name]
        if entry is None or not entry["decoded"] or not entry["picture"]:
            failures.append("%s: no decoded picture in the report: %s" % (name, entry))
            continue
        width, height, mean, _ = picture(host(entry["picture"], args.runner))
        # The display's aspect: 640x352 as it is; 1440x1080 of 4:3 samples as 16:9.
        wanted = (160, 90) if sar else (160, 88)
        if (width, height) != wanted:
            failures.append("%s: picture %dx%d, not %dx%d" % (name, width, height, *wanted))
        # 3 s in, or from the middle of a shorter one; duration from the first picture to the last.
        length = int(seconds / FRAME_SECONDS) * FRAME_SECONDS
        if abs(entry["duration"] - (length - FRAME_SECONDS)) > 0.05:
            failures.append("%s: duration %.3f s, recorded %.3f s" % (name, entry["duration"], length))
        target = 3.0 if length > 6 else entry["duration"] / 2
        if not target - 1e-3 <= entry["picture_at"] <= target + 0.2:
            failures.append("%s: picture taken at %.3f s, not at %.3f s" % (name, entry["picture_at"], target))
        # ffmpeg's own decoding of the original: the top field, shrunk the same way.
        raw = rgb_frames(manifest["files"][name], "field=top,scale=%d:%d:flags=area" % (width, height))
        references[name] = means(raw, width, height)
        frame = round(entry["picture_at"] / FRAME_SECONDS)
        if frame >= len(references[name]):
            failures.append("%s: picture at frame %d of %d" % (name, frame, len(references[name])))
            continue
        seen[name] = (mean, frame)
        own = distance(mean, references[name][frame])
        print("%-10s %dx%d at %.3f s (frame %d): mean %s, ffmpeg's %s" % (
            name, width, height, entry["picture_at"], frame, tuple(round(c) for c in mean),
            tuple(round(c) for c in references[name][frame])))
        if own > 10:
            failures.append("%s: mean colour %s, ffmpeg decodes %s" % (name, mean, references[name][frame]))
        if name == "fields" and (mean[0] < 200 or mean[1] > 60 or mean[2] > 60):
            failures.append("fields: %s is not the top field's red: the fields were mixed" % (mean,))
    # Each picture is of its own recording: nearer to it than to any other's at that time.
    for name, (mean, frame) in seen.items():
        own = distance(mean, references[name][frame])
        for other, frames in references.items():
            if other != name and frames and frames[min(frame, len(frames) - 1)] is not None:
                if distance(mean, frames[min(frame, len(frames) - 1)]) <= own:
                    failures.append("%s: its picture is as near %s's frame as its own" % (name, other))
    return failures


class PageParser(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.lists = {}
        self.current = None
        self.item = None
        self.text_of = None
        self.tags = set()
        self.urls = []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self.tags.add(tag)
        for key in ("href", "src"):
            if key in attrs:
                self.urls.append(attrs[key])
        if tag == "ol":
            self.current = self.lists.setdefault(attrs.get("id"), [])
        elif tag == "li":
            self.item = {"links": [], "images": [], "text": ""}
            self.current.append(self.item)
        elif tag == "a" and self.item is not None:
            self.item["links"].append(attrs["href"])
        elif tag == "img" and self.item is not None:
            self.item["images"].append(attrs["src"])

    def handle_endtag(self, tag):
        if tag == "li":
            self.item = None

    def handle_data(self, data):
        if self.item is not None:
            self.item["text"] += data


def check_page(args):
    from urllib.parse import unquote
    manifest, report, entries = load(args)
    failures = []
    dest = os.path.join(args.work, "dest")
    index = os.path.join(dest, "index.html")
    if host(report["thumbnails"]["index"] or "", args.runner) != index.replace("\\", "/"):
        failures.append("the report names the page %r" % report["thumbnails"]["index"])
    page = PageParser()
    page.feed(open(index, encoding="utf-8").read())
    if "script" in page.tags:
        failures.append("the page has a script")
    for url in page.urls:
        if ":" in url or url.startswith("/"):
            failures.append("not a relative link: %s" % url)
        elif not os.path.exists(os.path.join(dest, unquote(url))):
            failures.append("the page links to a missing file: %s" % url)
    items = page.lists.get("recordings", [])
    # Every recording, in the order recorded (not the order on the card).
    wanted = sorted(RECORDINGS, key=lambda n: RECORDINGS[n][2])
    shown = [unquote(item["links"][-1]) for item in items] if items else []
    if shown != ["clips/" + clip_name(RECORDINGS[n][2]) for n in wanted]:
        failures.append("the page lists %s, recorded in the order %s" % (shown, wanted))
    for name, item in zip(wanted, items):
        seed, seconds, date, *_ = RECORDINGS[name]
        entry = entries[name]
        if len(item["images"]) != 1 or unquote(item["images"][0]) != os.path.relpath(
                host(entry["picture"], args.runner), dest):
            failures.append("%s: picture %s, the report's %s" % (name, item["images"], entry["picture"]))
        text = " ".join(item["text"].split())
        size = os.path.getsize(os.path.join(dest, "clips", clip_name(date)))
        facts = [date.replace("T", " "), "0:%02d" % round(entry["duration"] or 0) if entry["decoded"] else "",
                 "%.1f MB" % (size / 1e6) if size >= 1e6 else "%.0f KB" % (size / 1e3), clip_name(date)]
        for fact in facts:
            if fact not in text:
                failures.append("%s: the page does not say %r: %r" % (name, fact, text))
    failures += screenshot(args, index)
    return failures


def screenshot(args, index):
    """Draws the page in headless Chromium; the screenshot must show the recordings' pictures: the
    red one whole, and as many strongly coloured pixels as the colourful ones hold."""
    browser = shutil.which("chromium") or shutil.which("chromium-browser")
    if not browser:
        print("Chromium not installed: the page is not drawn (apt-get install chromium)")
        return []
    shot = os.path.join(args.work, "page.png")
    if os.path.exists(shot):
        os.remove(shot)
    subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                    "--window-size=1000,760", "--screenshot=" + shot, "file://" + os.path.abspath(index)],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    if not os.path.exists(shot):
        return ["Chromium made no screenshot of the page"]
    raw = rgb_frames(shot, "null")
    pixels = [raw[i:i + 3] for i in range(0, len(raw), 3)]
    red = sum(1 for r, g, b in pixels if r > 200 and g < 60 and b < 60)
    coloured = sum(1 for p in pixels if max(p) - min(p) > 80)
    print("screenshot %s: %d red pixels, %d strongly coloured" % (shot, red, coloured))
    failures = []
    if red < 0.8 * 160 * 88:
        failures.append("the screenshot does not show the red picture (%d red pixels)" % red)
    if coloured < 3 * 160 * 88:
        failures.append("the screenshot shows few pictures (%d coloured pixels)" % coloured)
    return failures


def check_placeholder(args):
    manifest, report, entries = load(args)
    failures = []
    entry = entries["garbled"]
    if manifest["exit_code"] != 0:
        failures.append("exit code %d" % manifest["exit_code"])
    if entry is None:
        return failures + ["the garbled recording was not rebuilt: nothing to check"]
    if entry["decoded"] or not entry["note"] or not entry["picture"]:
        failures.append("garbled: %s" % entry)
        return failures
    width, height, mean, spread = picture(host(entry["picture"], args.runner))
    if (width, height) != (160, 90) or distance(mean, (128, 128, 128)) > 16 or spread > 25:
        failures.append("garbled: not the plain picture: %dx%d, mean %s, spread %.1f" % (width, height, mean, spread))
    stderr = open(os.path.join(args.work, "stderr.txt"), encoding="utf-8", errors="replace").read()
    if clip_name(RECORDINGS["garbled"][2]) not in stderr:
        failures.append("no note on stderr about the garbled recording: %r" % stderr)
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--runner")
    parser.add_argument("--run", action="store_true")
    parser.add_argument("case", nargs="?")
    args = parser.parse_args()
    if args.run:
        return run(args)
    if not os.path.exists(os.path.join(args.work, "report.json")):
        print("skipped: no run to check (the --run step was skipped)")
        return SKIP
    failures = {"Colours": check_colours, "Page": check_page, "Placeholder": check_placeholder}[args.case](args)
    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
