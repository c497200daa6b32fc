#!/usr/bin/env bash
# Makes a camcorder card image with real video on it (clips recorded, some deleted, others recorded
# over them so they fragment, then quick-formatted) and recovers it with mtsrescue-cli.
# Output: demo/card.img, demo/original-clips/, demo/recovered/. BUILD_DIR picks the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
cli="$build/cli/mtsrescue-cli"
if [ ! -x "$cli" ]; then
  echo "demo.sh: $cli is not built; first: cmake -S . -B $build -G Ninja && cmake --build $build" >&2
  exit 1
fi

mkdir -p demo
rm -rf demo/recovered demo/original-clips
echo "== Making a 40 MiB card image with camcorder-like recordings on it, then quick-formatting it"
python3 tests/fixtures/make_card.py demo/card.img --manifest demo/card.json \
  --clips-dir demo/original-clips --camcorder
echo
echo "== Recovering: $cli demo/card.img demo/recovered"
status=0
"$cli" demo/card.img demo/recovered || status=$?
echo
echo "== What came back (exit status $status)"
for file in $(ls demo/recovered | sort -n); do
  path="demo/recovered/$file"
  [ -f "$path" ] || continue
  line=$(printf '%-8s %10d bytes' "$file" "$(stat -c %s "$path")")
  if command -v ffprobe >/dev/null; then
    probe() { ffprobe -v error "$@" "$path" 2>/dev/null | awk '!seen[$0]++' | paste -sd' ' || true; }
    seconds=$(probe -show_entries format=duration -of csv=p=0)
    codecs=$(probe -show_entries stream=codec_name -of csv=p=0)
    picture=$(probe -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0)
    line="$line  ${seconds:-?} s  ${codecs:-no known streams}  ${picture:-}"
  fi
  echo "$line"
done
echo
echo "== Whole recordings rebuilt from those pieces, named by the date the camera recorded them"
ls -l --time-style='+%Y-%m-%d %H:%M:%S' demo/recovered/clips 2>/dev/null | tail -n +2 || echo "(none)"
echo
echo "== Which recorded clip each file holds (from the card's manifest)"
"$cli" --dry-run --json --quiet demo/card.img | python3 -c '
import json, sys
report = json.load(sys.stdin)
manifest = json.load(open("demo/card.json"))
for entry in report["fragments"]:
    if entry["status"] != "would be written":
        continue
    parts = []
    for clip in manifest["clips"]:
        for ext in clip["extents"]:
            lo = max(entry["start"], ext["image_offset"])
            hi = min(entry["end"], ext["image_offset"] + ext["length"])
            if hi - lo >= 1536:
                first = ext["clip_offset"] + lo - ext["image_offset"]
                parts.append((lo, "%s%s bytes %d-%d of %d" % (
                    clip["name"], " (deleted)" if clip["deleted"] else "", first,
                    first + hi - lo, clip["bytes"])))
    text = "; then ".join(part for _, part in sorted(parts))
    print("%-8s %s" % ("%d.MTS" % entry["index"], text or "no recorded clip"))
'
echo
echo "The recovered files play in any video player, e.g. ffplay demo/recovered/0.MTS, or a whole"
echo "recording from demo/recovered/clips/"
exit "$status"
