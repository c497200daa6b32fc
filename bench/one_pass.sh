#!/usr/bin/env bash
# One read of the card, and a failing card spared: run as root.
#
#   bench/one_pass.sh [--cli PATH] [--image IMAGE] [--work DIR] [--rate BYTES_PER_S] [--memory BYTES]
#                     [--delay-ms N] [--bad-mib "2 64"]
#
# Part 1, a card modelled as a slow device: IMAGE (default: a 256 MiB camcorder card made by
# tests/fixtures/make_card.py) attached read-only as a loop device; reads throttled to --rate
# (50 MB/s) by the cgroup-v1 blkio controller and the process's memory held to --memory (96 MiB)
# by the memory controller, so that the page cache cannot keep the card; `blockdev --flushbufs`
# before each run; bytes read taken from blkio.throttle.io_service_bytes. `cat`, mtsrescue-cli and
# PhotoRec (when installed) side by side: seconds and bytes read from the device.
# Part 2, a failing card: failing_card_shim.c (LD_PRELOAD) fails every read of IMAGE that touches a
# bad area inside a recording, each failure taking --delay-ms; once per --bad-mib size. The run's
# extra time against a run without the bad area, and its files against a run over a copy of IMAGE
# with that area zeroed (they must be the same).
# Where the blkio controller is missing (and cannot be mounted), part 1 is skipped with a message.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=$root/build/cli/mtsrescue-cli
image=""
work=/tmp/mtsrescue-one-pass
rate=$((50 * 1000 * 1000))
memory=$((96 * 1024 * 1024))
delay_ms=10
bad_mib="2 64"
while [ $# -gt 0 ]; do
  case "$1" in
    --cli) cli=$2; shift 2 ;;
    --image) image=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --rate) rate=$2; shift 2 ;;
    --memory) memory=$2; shift 2 ;;
    --delay-ms) delay_ms=$2; shift 2 ;;
    --bad-mib) bad_mib=$2; shift 2 ;;
    *) echo "unknown argument $1" >&2; exit 1 ;;
  esac
done
[ "$(id -u)" -eq 0 ] || { echo "one_pass.sh: run as root (loop devices, cgroups)" >&2; exit 1; }
[ -x "$cli" ] || { echo "one_pass.sh: no mtsrescue-cli at $cli" >&2; exit 1; }
mkdir -p "$work"
if [ -z "$image" ]; then
  image=$work/card.img
  if [ ! -f "$image" ]; then
    echo "making a 256 MiB card image (ffmpeg, mtools; a few minutes)..."
    python3 "$root/tests/fixtures/make_card.py" "$image" --manifest "$work/card.json" --size-mib 256 --scale 8 --seed 7 >/dev/null
  fi
fi
card_bytes=$(stat -c %s "$image")
now() { date +%s.%N; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "-"; else printf "%.3f", a / b }'; }

# ---- Part 1: the throttled device ----
blkio=/sys/fs/cgroup/blkio
mem=/sys/fs/cgroup/memory
if [ ! -e "$blkio/blkio.throttle.read_bps_device" ]; then
  mkdir -p "$blkio" 2>/dev/null && mount -t cgroup -o blkio none "$blkio" 2>/dev/null || true
fi
if [ ! -e "$mem/memory.limit_in_bytes" ]; then
  mkdir -p "$mem" 2>/dev/null && mount -t cgroup -o memory none "$mem" 2>/dev/null || true
fi
if [ ! -e "$blkio/blkio.throttle.read_bps_device" ]; then
  echo "part 1 skipped: no cgroup-v1 blkio controller here, and none could be mounted"
else
  loop=$(losetup --find --show --read-only "$image")
  group=mtsrescue-one-pass-$$
  cleanup() {
    losetup -d "$loop" 2>/dev/null || true
    rmdir "$blkio/$group" "$mem/$group" 2>/dev/null || true
  }
  trap cleanup EXIT
  devno=$(cat "/sys/block/$(basename "$loop")/dev")
  mkdir "$blkio/$group"
  echo "$devno $rate" > "$blkio/$group/blkio.throttle.read_bps_device"
  memory_note="memory not limited (no memory controller)"
  if [ -e "$mem/memory.limit_in_bytes" ]; then
    mkdir "$mem/$group"
    echo "$memory" > "$mem/$group/memory.limit_in_bytes"
    memory_note="memory limited to $memory bytes"
  fi
  read_bytes() { awk -v d="$devno" '$1 == d && $2 == "Read" { print $3 }' "$blkio/$group/blkio.throttle.io_service_bytes"; }
  # Runs "$@" inside the group: seconds and bytes read from the loop device.
  measure() {
    blockdev --flushbufs "$loop"
    sync
    echo 1 > /proc/sys/vm/drop_caches
    local before after start end
    before=$(read_bytes); before=${before:-0}
    start=$(now)
    sh -c 'echo $$ > "$1/cgroup.procs"; [ -d "$2" ] && echo $$ > "$2/cgroup.procs"; shift 2; exec "$@"' \
      sh "$blkio/$group" "$mem/$group" "$@" >/dev/null 2>&1 || true
    end=$(now)
    after=$(read_bytes); after=${after:-0}
    awk -v a="$start" -v b="$end" -v n=$((after - before)) 'BEGIN { printf "%.2f %d\n", b - a, n }'
  }
  # The best of three runs of each, so that other work on the machine counts as little as it can.
  # best_of_three OUTPUT_FOLDER COMMAND...: the folder is emptied before each run, untimed.
  best_of_three() {
    local folder=$1 runs=""
    shift
    for _ in 1 2 3; do
      rm -rf "$folder"
      runs+="$(measure "$@")"$'\n'
    done
    printf "%s" "$runs" | sort -g | head -1
  }
  echo "card: $image, $card_bytes bytes, as $loop read at $rate bytes/s; $memory_note; best of 3 runs"
  out=$work/out
  rm -rf "$out"; mkdir -p "$out"
  read -r cat_s cat_b < <(best_of_three "$out/none" cat "$loop")
  read -r cli_s cli_b < <(best_of_three "$out/cli" "$cli" -q "$loop" "$out/cli")
  printf "%-16s %8s s %12s bytes read\n" "cat" "$cat_s" "$cat_b" "mtsrescue-cli" "$cli_s" "$cli_b"
  if [ -n "${MTSRESCUE_OLD_CLI:-}" ]; then
    read -r old_s old_b < <(best_of_three "$out/old" "$MTSRESCUE_OLD_CLI" -q "$loop" "$out/old")
    printf "%-16s %8s s %12s bytes read\n" "earlier cli" "$old_s" "$old_b"
  fi
  if command -v photorec >/dev/null; then
    # PhotoRec writes its log into the current folder.
    read -r rec_s rec_b < <(cd "$out" && best_of_three "$out/rec" photorec /log /d "$out/rec" /cmd "$loop" \
      partition_none,fileopt,everything,disable,m2ts,enable,wholespace,search)
    printf "%-16s %8s s %12s bytes read\n" "PhotoRec" "$rec_s" "$rec_b"
  fi
  echo "mtsrescue-cli / cat: time $(ratio "$cli_s" "$cat_s") (goal <= 1.05), bytes read $(ratio "$cli_b" "$card_bytes") of the card (goal <= 1.01)"
  [ -n "${rec_s:-}" ] && echo "PhotoRec / cat:      time $(ratio "$rec_s" "$cat_s"), bytes read $(ratio "$rec_b" "$card_bytes") of the card"
  [ -n "${old_s:-}" ] && echo "earlier cli / cat:   time $(ratio "$old_s" "$cat_s"), bytes read $(ratio "$old_b" "$card_bytes") of the card"
  rm -rf "$out"
  cleanup
  trap - EXIT
fi

# ---- Part 2: the failing card ----
shim=$work/failing_card_shim.so
gcc -O2 -shared -fPIC -o "$shim" "$root/bench/failing_card_shim.c" -ldl
# The bad area begins inside a recording: the first hit run of 8 MiB or more, 1 MiB in.
start=$("$cli" --dry-run --json -q "$image" | python3 -c '
import json, sys
runs = [f for f in json.load(sys.stdin)["fragments"] if f["length"] >= (8 << 20)]
print((runs[0]["start"] + (1 << 20)) // 512 * 512 if runs else 1 << 20)')
timed() {
  local s e
  s=$(now)
  "$@" >/dev/null 2>&1 || true
  e=$(now)
  awk -v a="$s" -v b="$e" 'BEGIN { printf "%.2f", b - a }'
}
files_of() { (cd "$1" && find . -type f -name '*.MTS' -print0 | sort -z | xargs -0 sha256sum); }
rm -rf "$work/good"
good_s=$(timed "$cli" -q "$image" "$work/good")
echo "failing card: $image, no bad area: $good_s s"
for mib in $bad_mib; do
  bytes=$((mib * 1024 * 1024))
  zeroed=$work/zeroed.img
  cp --sparse=always "$image" "$zeroed"
  dd if=/dev/zero of="$zeroed" bs=512 seek=$((start / 512)) count=$((bytes / 512)) conv=notrunc status=none
  rm -rf "$work/bad" "$work/ref"
  # Only the program runs with the shim (not the clock's own processes).
  bad_s=$(timed env SHIM_FILE="$image" SHIM_BAD_START=$start SHIM_BAD_BYTES=$bytes SHIM_DELAY_MS=$delay_ms \
          SHIM_COUNT_FILE="$work/failures" LD_PRELOAD="$shim" "$cli" -q "$image" "$work/bad")
  "$cli" -q "$zeroed" "$work/ref" >/dev/null 2>&1 || true
  same="the same files as over the image with the area zeroed"
  files_of "$work/bad" | diff -q - <(files_of "$work/ref") >/dev/null || same="FILES DIFFER from the run over the zeroed image"
  extra=$(awk -v a="$bad_s" -v b="$good_s" 'BEGIN { printf "%.2f", a - b }')
  echo "  bad area of $mib MiB at byte $start, ${delay_ms} ms a failure: $bad_s s ($extra s more; goal <= 15 s" \
       "for 64 MiB), $(cat "$work/failures") failed reads; $same"
  rm -f "$zeroed"
done
rm -rf "$work/good" "$work/bad" "$work/ref"
