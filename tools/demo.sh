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
echo "== Making a 40 MiB card image with video clips on it, then quick-formatting it"
python3 tests/fixtures/make_card.py demo/card.img --manifest demo/card.json \
  --clips-dir demo/original-clips
echo
echo "== Recovering: $cli demo/card.img demo/recovered"
status=0
"$cli" demo/card.img demo/recovered || status=$?
echo
echo "== What came back (exit status $status)"
for file in $(ls demo/recovered | sort -n); do
  path="demo/recovered/$file"
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
echo "The recovered files play in any video player, e.g. ffplay demo/recovered/0.MTS"
exit "$status"
