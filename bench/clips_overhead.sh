#!/usr/bin/env bash
# What rebuilding whole recordings adds to a run: times mtsrescue-cli on the same card image with
# and without it (--no-clips), three times each, and prints the best times and their ratio (goal:
# at most 1.15). Two images: recordings on a quarter of the card, and a card full of them.
# The page cache is warmed first, so the runs read from memory and the times measure the program.
# With CARD_MBPS set (root only), the image is read instead as a read-only loop device throttled
# to that many MB/s (a cgroup's blkio limit), its cache dropped before each run: a card in a reader.
# Usage: [CARD_MBPS=N] bench/clips_overhead.sh [BUILD_DIR] [MIB]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mib=${2:-512}
cli=${MTSRESCUE_CLI:-$build/cli/mtsrescue-cli}
work=$(mktemp -d)
loop=""
group=/sys/fs/cgroup/blkio/mtsrescue_clips_bench
cleanup() {
  [ -n "$loop" ] && losetup -d "$loop" 2>/dev/null
  [ -d "$group" ] && rmdir "$group" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
[ -x "$cli" ] || { echo "no command-line program at $cli (set MTSRESCUE_CLI)" >&2; exit 2; }

# The machine may be shared: besides the wall-clock time, the processor time (user + system) of
# the run is taken, which others' load disturbs less. Set TMPDIR to a RAM disk (/dev/shm) to keep
# disk write-back out of the times.
run() {  # run SOURCE [OPTIONS...]: "wall cpu" seconds of one run into a fresh folder
  local source=$1; shift
  rm -rf "$work/out"
  if [ -n "$loop" ]; then
    blockdev --flushbufs "$loop"
    sh -c 'echo $$ > "$0/tasks"; exec "$@"' "$group" \
      /usr/bin/time -f "%e %U %S" -o "$work/time" "$cli" -q "$@" "$source" "$work/out" >/dev/null
  else
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$cli" -q "$@" "$source" "$work/out" >/dev/null
  fi
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$work/time"
}

best() { sort -g | head -1; }
column() { awk -v c="$1" '{ print $c }'; }

for fill in 0.25 0.95; do
  image=$work/card_$fill.img
  python3 "$root/bench/make_clips_bench_image.py" "$image" "$mib" "$fill"
  cat "$image" >/dev/null
  source=$image
  if [ -n "${CARD_MBPS:-}" ]; then
    loop=$(losetup -r -f --show "$image")
    mkdir -p "$group"
    echo "$(stat -c '%Hr:%Lr' "$loop") $((CARD_MBPS * 1000000))" > "$group/blkio.throttle.read_bps_device"
    source=$loop
    echo "source: $loop, reads limited to $CARD_MBPS MB/s"
  fi
  with=$(for _ in 1 2 3; do run "$source"; done)
  without=$(for _ in 1 2 3; do run "$source" --no-clips; done)
  rm -rf "$work/out"
  recordings=$("$cli" -q --json "$image" "$work/out" | python3 -c 'import json,sys
c = json.load(sys.stdin)["clips"]
print("%d recordings from %d pieces, %d bytes written; %d bytes read for them, %d of them from the source"
      % (len(c["recordings"]), c["pieces"], sum(r["bytes"] for r in c["recordings"]), c["bytes_read"],
         c["source_bytes_read"]))')
  echo "card ${mib} MiB, video on ${fill} of it: $recordings"
  echo "  with clips (wall s):    $(echo "$with" | column 1 | tr '\n' ' ')"
  echo "  without clips (wall s): $(echo "$without" | column 1 | tr '\n' ' ')"
  for c in 1 2; do
    name=$([ $c = 1 ] && echo wall || echo cpu)
    awk -v n="$name" -v w="$(echo "$with" | column $c | best)" -v o="$(echo "$without" | column $c | best)" \
      'BEGIN { printf "  best %s: %.3f s with, %.3f s without, ratio %.3f (goal <= 1.15)\n", n, w, o, w / o }'
  done
  if [ -n "$loop" ]; then losetup -d "$loop"; loop=""; fi
  rm -f "$image"
done
