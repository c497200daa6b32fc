#!/usr/bin/env bash
# Times one recovery run (the window's own run time, from the click to the end of the export) over the same 1 GiB image from the window (window_run, under Xvfb when no
# display is set) and from the command-line program, seven times each, and prints the ratio of the
# best times. Usage: bench/window_vs_cli.sh [BUILD_DIR] [IMAGE]
# The page cache is warmed first, so both read the image from memory and the comparison measures
# the programs, not the disk.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
image=${2:-/tmp/mtsrescue_bench_1g.img}
window_run=$build/bench/ui/window_run
cli=${MTSRESCUE_CLI:-$build/cli/mtsrescue-cli}
# Outputs go to a RAM folder when there is one, so that neither program is timed by the disk's
# write-back of the other's files.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then work=$(mktemp -d -p /dev/shm); else work=$(mktemp -d); fi
trap 'rm -rf "$work"' EXIT

[ -x "$window_run" ] || { echo "build window_run first (ninja -C $build window_run)" >&2; exit 2; }
[ -x "$cli" ] || { echo "no command-line program at $cli (set MTSRESCUE_CLI)" >&2; exit 2; }
if [ ! -f "$image" ] || [ "$(stat -c %s "$image")" -ne 1073741824 ]; then
  python3 "$root/bench/ui/make_bench_image.py" "$image" 1024
fi
cat "$image" >/dev/null

run_window() {
  rm -rf "$work/out" && mkdir "$work/out"
  if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    xvfb-run -a "$window_run" "$image" "$work/out" 2>/dev/null
  else
    "$window_run" "$image" "$work/out"
  fi | awk '{print $1}'
}

run_cli() {
  rm -rf "$work/out" && mkdir "$work/out"
  local start end
  start=$(date +%s.%N)
  "$cli" -q "$image" "$work/out" >/dev/null 2>&1 || true  # exit codes are checked by the tests, not here
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }' 
}

best() { sort -g | head -1; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Interleaved, each after a sync, so that neither meets the other's write-back.
window_times=""
cli_times=""
for _ in 1 2 3 4 5 6 7; do
  sync
  window_times+="$(run_window)"$'\n'
  sync
  cli_times+="$(run_cli)"$'\n'
done
window_times=${window_times%$'\n'}
cli_times=${cli_times%$'\n'}
window_best=$(echo "$window_times" | best)
cli_best=$(echo "$cli_times" | best)
echo "window runs (s): $(echo $window_times)"
echo "cli runs (s):    $(echo $cli_times)"
awk -v w="$window_best" -v c="$cli_best" \
  'BEGIN { printf "best:   window %.3f s, cli %.3f s, ratio %.3f (goal <= 1.2)\n", w, c, w / c }'
window_median=$(echo "$window_times" | median)
cli_median=$(echo "$cli_times" | median)
awk -v w="$window_median" -v c="$cli_median" \
  'BEGIN { printf "median: window %.3f s, cli %.3f s, ratio %.3f\n", w, c, w / c }'
