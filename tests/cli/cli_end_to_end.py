#!/usr/bin/env python3
"""End-to-end runs of the real mtsrescue-cli binary on a card image made by tests/fixtures.

  cli_end_to_end.py --binary BIN --work DIR --make-card   makes DIR/card.img and DIR/card.json
  cli_end_to_end.py --binary BIN --work DIR CASE...       runs unittest cases (class names)
  --runner PROGRAM runs BIN through PROGRAM (Wine for a Windows build); a BIN ending in .exe
  writes "\\" between folder and file name.

Exit code 77 means skipped (a tool such as ffmpeg is missing, or the card could not be made);
the reason is printed.
"""

import argparse
import json
import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, os.path.join(HERE, "..", "fixtures"))
import m2ts  # noqa: E402
import make_card  # noqa: E402

SKIP = 77
GROUP_BYTES = 1536
SECTOR_BYTES = 512
MIN_EXPORT_BYTES = 2048

BINARY = None
COMMAND = None  # [runner, ] binary
OUTPUT_SEPARATOR = os.sep
WORK = None


def card_paths():
    return os.path.join(WORK, "card.img"), os.path.join(WORK, "card.json")


def run_cli(*args, timeout=120):
    return subprocess.run([*COMMAND, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=timeout)


def output_name(folder, index):
    """The path that the binary gives fragment index's file in folder."""
    return folder + OUTPUT_SEPARATOR + "%d.MTS" % index


def host(path):
    """A path that the binary reported, as this system opens it (Wine maps "\\" to "/")."""
    return path.replace("\\", "/") if OUTPUT_SEPARATOR == "\\" else path


def written_entries(report):
    return [f for f in report["fragments"] if f["status"] == "written"]


def aligned_span(extent, clip_bytes):
    """The image range that the hits of one extent cover: from its first sector where a clip
    packet boundary meets a sector boundary, to the end of the group its last such sector begins.
    None when the extent holds no whole hit."""
    first_clip = -(-extent["clip_offset"] // GROUP_BYTES) * GROUP_BYTES
    extent_clip_end = extent["clip_offset"] + extent["length"]
    last_clip = None
    c = first_clip
    # A hit needs three packets and its whole sector inside the extent's bytes.
    while c + SECTOR_BYTES <= extent_clip_end and c + 2 * 192 + 5 <= clip_bytes:
        last_clip = c
        c += GROUP_BYTES
    if last_clip is None:
        return None
    delta = extent["image_offset"] - extent["clip_offset"]
    return first_clip + delta, last_clip + GROUP_BYTES + delta


class CardCase(unittest.TestCase):
    """Loads the card made by --make-card; skips the whole run when it is not there."""

    @classmethod
    def setUpClass(cls):
        cls.image, manifest_path = card_paths()
        with open(manifest_path) as f:
            cls.manifest = json.load(f)
        with open(cls.image, "rb") as f:
            cls.image_bytes = f.read()
        cls.clip_data = {}
        for clip in cls.manifest["clips"]:
            with open(clip["file"], "rb") as f:
                cls.clip_data[clip["name"]] = f.read()

    def fresh_folder(self, name):
        path = os.path.join(WORK, self.id().split(".")[-1] + "_" + name)
        shutil.rmtree(path, ignore_errors=True)
        return path

    def recover(self, *extra, source=None, expect=0):
        dest = self.fresh_folder("out")
        result = run_cli("--json", *extra, source or self.image, dest)
        self.assertEqual(result.returncode, expect, result.stderr.decode())
        return dest, json.loads(result.stdout)


class CardRecovery(CardCase):
    def test_every_file_is_the_stretch_of_the_card_it_claims(self):
        dest, report = self.recover()
        self.assertEqual(report["length"], len(self.image_bytes))
        self.assertEqual(report["bytes_read"], len(self.image_bytes))
        self.assertEqual(report["unreadable_sectors"], 0)
        self.assertEqual(report["result"], "success")
        written = written_entries(report)
        self.assertGreaterEqual(len(written), 5)
        # The folder holds exactly the files reported, nothing else (no leftover write test),
        # and the subfolder of rebuilt recordings exactly the recordings reported.
        expected = ["%d.MTS" % f["index"] for f in written]
        recordings = report["clips"]["recordings"]
        if recordings:
            expected.append("clips")
            self.assertEqual(sorted(os.listdir(os.path.join(dest, "clips"))),
                             sorted(os.path.basename(host(r["file"])) for r in recordings))
        self.assertEqual(sorted(os.listdir(dest)), sorted(expected))
        for entry in report["fragments"]:
            self.assertEqual(entry["length"], entry["end"] - entry["start"])
            self.assertEqual(entry["file"] is not None, entry["status"] == "written", entry)
            if entry["status"] != "written":
                self.assertLessEqual(entry["length"], MIN_EXPORT_BYTES, entry)
                continue
            self.assertEqual(entry["file"], output_name(dest, entry["index"]))
            with open(host(entry["file"]), "rb") as f:
                data = f.read()
            self.assertEqual(len(data), entry["length"])
            self.assertTrue(data == self.image_bytes[entry["start"]:entry["end"]],
                            "file %d differs from the card bytes it claims" % entry["index"])

    def test_recovered_bytes_match_the_original_clips_where_they_lie(self):
        _, report = self.recover()
        checked = 0
        for entry in written_entries(report):
            with open(host(entry["file"]), "rb") as f:
                data = f.read()
            for clip in self.manifest["clips"]:
                original = self.clip_data[clip["name"]]
                for ext in clip["extents"]:
                    lo = max(entry["start"], ext["image_offset"])
                    hi = min(entry["end"], ext["image_offset"] + ext["length"])
                    if lo >= hi:
                        continue
                    clip_lo = ext["clip_offset"] + lo - ext["image_offset"]
                    self.assertTrue(
                        data[lo - entry["start"]:hi - entry["start"]] ==
                        original[clip_lo:clip_lo + hi - lo],
                        "%s bytes %d..%d differ in file %d" % (clip["name"], clip_lo,
                                                               clip_lo + hi - lo, entry["index"]))
                    checked += hi - lo
        self.assertGreater(checked, 10 * 1024 * 1024, "too little of the clips was recovered")

    def test_every_surviving_stretch_of_every_clip_comes_back(self):
        _, report = self.recover()
        written = written_entries(report)
        fragmented = 0
        for clip in self.manifest["clips"]:
            spans = []
            for ext in clip["extents"]:
                span = aligned_span(ext, clip["bytes"])
                if span is None or span[1] - span[0] <= MIN_EXPORT_BYTES:
                    continue
                covering = [e for e in written if e["start"] <= span[0] and span[1] <= e["end"]]
                self.assertEqual(len(covering), 1, "%s extent at %d: covered by %r" % (
                    clip["name"], ext["image_offset"], covering))
                spans.append((span, covering[0]["index"]))
            if len(spans) > 1:
                fragmented += 1
                # A clip split on the card comes back as one file per piece, in clip order.
                indices = [index for _, index in spans]
                self.assertEqual(len(set(indices)), len(indices), clip["name"])
        self.assertGreaterEqual(fragmented, 2, "the card should hold at least two split clips")

    def test_a_split_clip_is_its_pieces_joined(self):
        """Joining the files of a split, never-deleted clip gives the clip back but for the edges
        where its pieces break off mid-group."""
        _, report = self.recover()
        written = written_entries(report)
        split = [c for c in self.manifest["clips"]
                 if c["complete"] and not c["deleted"] and len(c["extents"]) > 1]
        self.assertTrue(split, "no split clip on the card")
        for clip in split:
            original = self.clip_data[clip["name"]]
            recovered = bytearray(len(original))
            covered = 0
            for ext in clip["extents"]:
                lo, hi = aligned_span(ext, clip["bytes"])
                entry = next(e for e in written if e["start"] <= lo and hi <= e["end"])
                with open(host(entry["file"]), "rb") as f:
                    data = f.read()
                hi = min(hi, ext["image_offset"] + ext["length"])
                clip_lo = ext["clip_offset"] + lo - ext["image_offset"]
                recovered[clip_lo:clip_lo + hi - lo] = data[lo - entry["start"]:hi - entry["start"]]
                covered += hi - lo
            self.assertGreater(covered, len(original) - 2 * GROUP_BYTES * len(clip["extents"]))
            mismatch = [i for i in range(0, len(original), 4096)
                        if recovered[i] != original[i] and recovered[i] != 0]
            self.assertFalse(mismatch, clip["name"])


class DryRunAndJson(CardCase):
    def test_dry_run_lists_what_a_run_writes_and_writes_nothing(self):
        dest = self.fresh_folder("never")
        dry = run_cli("--dry-run", "--json", self.image, dest)
        self.assertEqual(dry.returncode, 0, dry.stderr.decode())
        self.assertFalse(os.path.exists(dest), "a dry run made the destination")
        planned = json.loads(dry.stdout)
        self.assertTrue(planned["dry_run"])
        self.assertEqual(planned["files_written"], 0)
        _, done = self.recover()
        strip = lambda r: [(f["index"], f["start"], f["end"], f["length"]) for f in r["fragments"]]
        self.assertEqual(strip(planned), strip(done))
        self.assertEqual([f["status"] == "would be written" for f in planned["fragments"]],
                         [f["status"] == "written" for f in done["fragments"]])
        self.assertEqual(planned["hits"], done["hits"])

    def test_json_holds_every_field_and_python_json_tool_accepts_it(self):
        result = run_cli("--dry-run", "--json", "--quiet", self.image)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stderr, b"", "--quiet and no terminal: nothing on stderr")
        tool = subprocess.run([sys.executable, "-m", "json.tool"], input=result.stdout,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual(tool.returncode, 0, tool.stderr.decode())
        report = json.loads(result.stdout)
        for key in ("source", "length", "bytes_read", "unreadable_sectors", "hits", "fragments",
                    "result", "exit_code", "error"):
            self.assertIn(key, report)
        for entry in report["fragments"]:
            for key in ("index", "start", "end", "length", "status", "file", "reason"):
                self.assertIn(key, entry)
            if entry["status"] == "too short":
                self.assertTrue(entry["reason"])
        self.assertEqual([f["index"] for f in report["fragments"]],
                         list(range(len(report["fragments"]))))

    def test_text_listing_names_every_planned_file(self):
        result = run_cli("--dry-run", self.image, "somewhere")
        self.assertEqual(result.returncode, 0)
        text = result.stdout.decode()
        report = json.loads(run_cli("--dry-run", "--json", self.image, "somewhere").stdout)
        for entry in report["fragments"]:
            if entry["status"] == "would be written":
                self.assertIn(output_name("somewhere", entry["index"]), text)
        self.assertFalse(os.path.exists("somewhere"))


class ExitCodes(CardCase):
    def test_usage_error_is_1(self):
        self.assertEqual(run_cli().returncode, 1)
        self.assertEqual(run_cli("--no-such-option", self.image, "x").returncode, 1)
        self.assertEqual(run_cli(self.image).returncode, 1)

    def test_missing_source_is_2(self):
        dest = self.fresh_folder("out")
        result = run_cli(os.path.join(WORK, "no-such.img"), dest)
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"Cannot open file", result.stderr)
        self.assertFalse(os.path.exists(dest))

    def test_destination_that_cannot_be_made_is_2(self):
        blocker = os.path.join(WORK, "a-plain-file")
        with open(blocker, "w") as f:
            f.write("not a folder")
        for dest in (blocker, os.path.join(blocker, "below")):
            result = run_cli(self.image, dest)
            self.assertEqual(result.returncode, 2, dest)
            self.assertIn(b"Cannot create folder", result.stderr)
        with open(blocker) as f:
            self.assertEqual(f.read(), "not a folder")
        if os.geteuid() != 0:  # root may write into any folder, whatever its mode
            locked = self.fresh_folder("locked")
            os.makedirs(locked)
            os.chmod(locked, 0o555)
            self.addCleanup(os.chmod, locked, 0o755)
            result = run_cli(self.image, locked)
            self.assertEqual(result.returncode, 2, result.stderr.decode())
            self.assertIn(b"Cannot create file", result.stderr)
            self.assertEqual(os.listdir(locked), [])

    def test_output_that_cannot_be_created_is_3_and_earlier_files_stay(self):
        planned = json.loads(run_cli("--dry-run", "--json", self.image).stdout)
        targets = [f["index"] for f in planned["fragments"] if f["status"] == "would be written"]
        dest = self.fresh_folder("out")
        os.makedirs(os.path.join(dest, "%d.MTS" % targets[1]))  # a folder where a file must go
        result = run_cli("--json", self.image, dest)
        self.assertEqual(result.returncode, 3, result.stderr.decode())
        self.assertIn(b"Cannot create file", result.stderr)
        report = json.loads(result.stdout)
        self.assertEqual(report["result"], "export error")
        self.assertTrue(os.path.isfile(os.path.join(dest, "%d.MTS" % targets[0])))
        self.assertFalse(os.path.exists(os.path.join(dest, "%d.MTS" % targets[2])))
        statuses = {f["index"]: f["status"] for f in report["fragments"]}
        self.assertEqual(statuses[targets[0]], "written")
        self.assertEqual(statuses[targets[1]], "failed")

    def _start_long_run(self, dest):
        """A sparse image of 1 TiB (64 GiB where that is too big) that begins with the card:
        it takes minutes to read, so there is time to interrupt it."""
        big = os.path.join(WORK, "sparse-big.img")
        with open(big, "wb") as f:
            f.write(self.image_bytes)
            try:
                f.truncate(1 << 40)
            except OSError:
                f.truncate(64 << 30)
        self.addCleanup(os.unlink, big)
        return subprocess.Popen([*COMMAND, "--json", big, dest], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE), big

    def test_interrupt_stops_reading_exports_what_was_found_and_is_4(self):
        dest = self.fresh_folder("out")
        process, big = self._start_long_run(dest)
        time.sleep(1.0)
        process.send_signal(signal.SIGINT)
        out, err = process.communicate(timeout=120)
        self.assertEqual(process.returncode, 4, err.decode())
        report = json.loads(out)
        self.assertTrue(report["stopped"])
        self.assertLess(report["bytes_read"], report["length"])
        self.assertGreaterEqual(report["bytes_read"], len(self.image_bytes),
                                "interrupted before the card was read; the machine is too slow")
        self.assertGreater(report["files_written"], 0)
        for entry in written_entries(report):
            with open(host(entry["file"]), "rb") as f:
                self.assertTrue(f.read() == self.image_bytes[entry["start"]:entry["end"]])

    def test_second_interrupt_gives_up_the_writing_and_still_reports(self):
        """Two interrupts: the reading stops, the writing is given up at the next block, and the
        report still lists what was written; nothing cut short keeps a final name."""
        dest = self.fresh_folder("out")
        process, _ = self._start_long_run(dest)
        time.sleep(1.0)
        process.send_signal(signal.SIGINT)
        if OUTPUT_SEPARATOR == "\\":
            time.sleep(0.005)  # Wine turns each SIGINT into a Ctrl-C; its SIGTERM is no Ctrl-C
            process.send_signal(signal.SIGINT)
        else:
            process.send_signal(signal.SIGTERM)  # of another kind, so never merged with the first
        out, err = process.communicate(timeout=120)
        if OUTPUT_SEPARATOR == "\\" and b"aborted" not in err:
            self.skipTest("the run ended before Wine passed on the second Ctrl-C")
        self.assertEqual(process.returncode, 4, err.decode())
        self.assertIn(b"aborted by a second interrupt", err)
        report = json.loads(out)
        self.assertTrue(report["aborted"])
        written = {host(f["file"]) for f in written_entries(report)}
        for entry in written_entries(report):
            with open(host(entry["file"]), "rb") as f:
                self.assertTrue(f.read() == self.image_bytes[entry["start"]:entry["end"]])
        on_disk = {os.path.join(dest, name) for name in os.listdir(dest) if name != "clips"}
        self.assertEqual(on_disk, written, "only whole files, under their final names")
        if report["cut_short"] is not None:
            self.assertIsNone(report["cut_short"]["left_as"])
            self.assertNotIn(host(report["cut_short"]["file"]), written)


class SourceSafety(CardCase):
    """What a user can get wrong must not harm the source or pass a loss off as success."""

    def copy_of_card(self, path):
        shutil.copyfile(self.image, path)
        return path

    def test_no_name_the_run_creates_leads_to_the_source(self):
        # (where the source is put, or what is linked to it, inside DEST)
        cases = [
            ("probe is a link to the source", ".mtsrescue-write-test", "link"),
            ("the source is named like the probe", ".mtsrescue-write-test", "source"),
            ("an output name is a link to the source", "0.MTS", "link"),
            ("the source has an output's temporary name", "0.MTS.part", "source"),
            ("an output name is a hard link to the source", "1.MTS", "hardlink"),
        ]
        for what, name, how in cases:
            with self.subTest(what):
                dest = self.fresh_folder("out")
                os.makedirs(dest)
                image = os.path.join(WORK, "safety-card.img")
                self.copy_of_card(image)
                self.addCleanup(lambda p=image: os.path.exists(p) and os.unlink(p))
                at = os.path.join(dest, name)
                if how == "link":
                    os.symlink(image, at)
                elif how == "hardlink":
                    os.link(image, at)
                else:
                    os.replace(image, at)
                    image = at
                result = run_cli("--force", image, dest)
                self.assertEqual(result.returncode, 2, result.stderr.decode())
                self.assertIn(b"source being recovered", result.stderr)
                with open(image, "rb") as f:
                    self.assertTrue(f.read() == self.image_bytes, "the source was changed")

    def test_a_source_that_is_no_file_or_disk_is_refused_at_once(self):
        if OUTPUT_SEPARATOR == "\\":
            self.skipTest("pipes and character devices by these names are POSIX's")
        fifo = os.path.join(WORK, "no-writer.fifo")
        if os.path.exists(fifo):
            os.unlink(fifo)
        os.mkfifo(fifo)
        self.addCleanup(os.unlink, fifo)
        for source in (fifo, "/dev/zero", "/dev/null"):
            with self.subTest(source):
                dest = self.fresh_folder("out")
                result = run_cli("--json", source, dest, timeout=20)
                self.assertEqual(result.returncode, 2, result.stderr.decode())
                self.assertIn(b"neither a file nor a disk", result.stderr)
                self.assertEqual(json.loads(result.stdout)["result"], "source or destination error")

    def test_a_closed_output_stream_does_not_end_the_run(self):
        for args, closed in ((["--json"], "stdout"), ([], "stderr")):
            with self.subTest(closed):
                dest = self.fresh_folder("out")
                process = subprocess.Popen([*COMMAND, *args, self.image, dest],
                                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                # Whoever read the stream has gone (tee ended by Ctrl-C, "| true").
                getattr(process, closed).close()
                other = process.stderr if closed == "stdout" else process.stdout
                other.read()
                process.wait(timeout=120)
                self.assertEqual(process.returncode, 0)
                self.assertTrue(os.path.isfile(os.path.join(dest, "clips", "0.MTS")), "the run did not finish")

    def test_a_source_that_shrinks_fails_the_entries_it_lost(self):
        planned = json.loads(run_cli("--dry-run", "--json", self.image).stdout)
        targets = [f for f in planned["fragments"] if f["status"] == "would be written"]
        cut_at = targets[-1]["start"] + 1024
        # A long sparse image that begins with the card, cut while the run reads it.
        image = os.path.join(WORK, "shrinking.img")
        with open(image, "wb") as f:
            f.write(self.image_bytes)
            f.truncate(64 << 30)
        self.addCleanup(os.unlink, image)
        dest = self.fresh_folder("out")
        process = subprocess.Popen([*COMMAND, "--json", image, dest],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        time.sleep(1.0)
        os.truncate(image, cut_at)
        out, err = process.communicate(timeout=120)
        self.assertEqual(process.returncode, 3, err.decode())
        self.assertIn(b"shrank or was taken away", err)
        report = json.loads(out)
        statuses = {f["index"]: f["status"] for f in report["fragments"]}
        # The one read writes each fragment as it passes: the cut comes after the card's fragments
        # were read (then they are whole) or inside the last one (then that one fails).
        self.assertIn(statuses[targets[-1]["index"]], ("written", "failed"))
        self.assertEqual(report["result"], "export error")
        for entry in written_entries(report):
            with open(host(entry["file"]), "rb") as f:
                self.assertTrue(f.read() == self.image_bytes[entry["start"]:entry["end"]])

    def test_a_run_into_an_earlier_runs_folder_says_so_and_lists_only_its_own_files(self):
        dest, first = self.recover()
        kept = os.path.join(dest, "9999.MTS")
        with open(kept, "wb") as f:
            f.write(b"an earlier run's")
        result = run_cli("--json", self.image, dest)
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        self.assertIn(b"of an earlier run", result.stderr)
        report = json.loads(result.stdout)
        self.assertEqual([host(p) for p in report["earlier_files"]], [kept])
        self.assertNotIn(kept, {host(f["file"]) for f in report["fragments"]})

    def test_a_full_destination_leaves_no_cut_short_file_under_a_final_name(self):
        """A real file system that fills up (tmpfs of 2 MiB): the run warns first, stops with an
        error naming the file, and what it cut short is gone."""
        if os.geteuid() != 0 or shutil.which("mount") is None:
            self.skipTest("mounting a small tmpfs needs root")
        mount_point = self.fresh_folder("tmpfs")
        os.makedirs(mount_point)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", mount_point]).returncode != 0:
            self.skipTest("tmpfs cannot be mounted here")
        self.addCleanup(subprocess.run, ["umount", mount_point])
        dest = os.path.join(mount_point, "out")
        result = run_cli("--json", self.image, dest)
        self.assertEqual(result.returncode, 3, result.stderr.decode())
        self.assertIn(b"Not enough room", result.stderr)
        self.assertTrue(any(text in result.stderr for text in (b"No space left on device", b"Disk full", b"not enough space")),
                        result.stderr)
        report = json.loads(result.stdout)
        self.assertTrue(report["space"]["short"])
        self.assertGreater(report["space"]["fragment_bytes"], report["space"]["free_bytes"])
        cut = report["cut_short"] or report["clips"]["cut_short"]
        self.assertIsNotNone(cut)
        self.assertIsNone(cut["left_as"], "removed, not kept under its temporary name")
        self.assertFalse(os.path.exists(host(cut["file"])))
        for entry in written_entries(report):
            with open(host(entry["file"]), "rb") as f:
                self.assertTrue(f.read() == self.image_bytes[entry["start"]:entry["end"]])
        self.assertEqual([n for n in os.listdir(dest) if n.endswith(".part")], [])


class ReadOnlySource(CardCase):
    def _read_only_copy(self):
        path = os.path.join(WORK, "read-only.img")
        if os.path.exists(path):
            subprocess.run(["chattr", "-i", path], stderr=subprocess.DEVNULL)
            os.chmod(path, 0o644)
            os.unlink(path)
        shutil.copyfile(self.image, path)
        os.chmod(path, 0o444)
        if os.geteuid() == 0:
            # Root may open any file for writing whatever its mode; the immutable flag stops it.
            if shutil.which("chattr") is None or subprocess.run(
                    ["chattr", "+i", path], stderr=subprocess.DEVNULL).returncode != 0:
                self.skipTest("running as root on a file system without chattr +i")
            self.addCleanup(subprocess.run, ["chattr", "-i", path])
        try:
            os.close(os.open(path, os.O_RDWR))
            self.skipTest("could not make a file that refuses writing")
        except OSError:
            pass
        return path

    def test_read_only_image_is_recovered_and_left_as_it_was(self):
        source = self._read_only_copy()
        before = os.stat(source)
        dest, report = self.recover(source=source)
        self.assertEqual(report["result"], "success")
        self.assertGreater(report["files_written"], 0)
        for entry in written_entries(report):
            with open(host(entry["file"]), "rb") as f:
                self.assertTrue(f.read() == self.image_bytes[entry["start"]:entry["end"]])
        after = os.stat(source)
        self.assertEqual((before.st_size, before.st_mtime_ns), (after.st_size, after.st_mtime_ns))
        with open(source, "rb") as f:
            self.assertTrue(f.read() == self.image_bytes)


class FixtureStamps(unittest.TestCase):
    """The clip fixture's stamp rewrite, on hand-made packets (no ffmpeg needed)."""

    @staticmethod
    def packets(count, copy_bits=0):
        data = bytearray()
        for k in range(count):
            header = (copy_bits << 30) | ((k * 7919) & m2ts.STAMP_MASK)  # wildly jumping stamps
            data += header.to_bytes(4, "big") + b"\x47" + bytes([k % 256]) * 187
        return bytes(data)

    def test_stamps_climb_at_27_mhz_from_the_origin_and_wrap_at_2_30(self):
        muxrate = 6_000_000
        origin = m2ts.STAMP_MODULUS - 20_000
        out = m2ts.rewrite_stamps(self.packets(10, copy_bits=3), origin, muxrate)
        stamps = m2ts.stamps(out)
        step = 188 * 8 * 27_000_000 / muxrate
        for k, s in enumerate(stamps):
            self.assertEqual(s, (origin + int(k * step)) % m2ts.STAMP_MODULUS)
        self.assertLess(stamps[3], stamps[2], "the stamp wraps to zero past 2^30")
        for k in range(10):
            self.assertEqual(out[k * 192] >> 6, 3, "copy-permission bits kept")
            self.assertEqual(out[k * 192 + 4:(k + 1) * 192], self.packets(10)[k * 192 + 4:(k + 1) * 192])

    def test_upper_word_climbs_slowly_enough_for_a_hit_every_group(self):
        out = m2ts.rewrite_stamps(self.packets(64), 12345, 6_000_000)
        words = [int.from_bytes(out[k * 192:k * 192 + 2], "big") for k in range(64)]
        for k in range(62):
            self.assertLessEqual(words[k + 2] - words[k], 15)

    def test_rejects_what_is_not_whole_packets(self):
        with self.assertRaises(m2ts.FixtureError):
            m2ts.rewrite_stamps(self.packets(2)[:-1], 0, 6_000_000)
        broken = bytearray(self.packets(2))
        broken[192 + 4] = 0
        with self.assertRaises(m2ts.FixtureError):
            m2ts.rewrite_stamps(bytes(broken), 0, 6_000_000)


def make_the_card():
    missing = make_card.missing_tools()
    if missing:
        print("SKIPPED: cannot make the card image, missing %s (Debian: apt-get install -y "
              "ffmpeg dosfstools mtools)" % ", ".join(missing))
        return SKIP
    image, manifest = card_paths()
    os.makedirs(WORK, exist_ok=True)
    for stale in (image, manifest):
        if os.path.exists(stale):
            os.unlink(stale)
    started = time.monotonic()
    made = make_card.make_card(image + ".part", manifest + ".part",
                               os.path.join(WORK, "clips"), size_mib=40, seed=3)
    os.replace(image + ".part", image)
    made["image"] = os.path.abspath(image)
    with open(manifest, "w") as f:
        json.dump(made, f, indent=1)
    os.unlink(manifest + ".part")
    print("made %s (%d clips) in %.1f s" % (image, len(made["clips"]), time.monotonic() - started))
    return 0


def main():
    global BINARY, COMMAND, OUTPUT_SEPARATOR, WORK
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--runner")
    parser.add_argument("--make-card", action="store_true")
    parser.add_argument("cases", nargs="*")
    args = parser.parse_args()
    BINARY, WORK = os.path.abspath(args.binary), os.path.abspath(args.work)
    COMMAND = ([args.runner] if args.runner else []) + [BINARY]
    if BINARY.lower().endswith(".exe"):
        OUTPUT_SEPARATOR = "\\"
    if args.make_card:
        return make_the_card()
    needs_card = [c for c in args.cases if c != "FixtureStamps"]
    if needs_card and not os.path.exists(card_paths()[1]):
        print("SKIPPED: no card image in %s (made by --make-card; is ffmpeg installed?)" % WORK)
        return SKIP
    suite = unittest.defaultTestLoader.loadTestsFromNames(args.cases, sys.modules[__name__])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    if not result.wasSuccessful():
        return 1
    if result.testsRun and len(result.skipped) == result.testsRun:
        return SKIP
    return 0


if __name__ == "__main__":
    sys.exit(main())
