#!/usr/bin/env bash
# Makes the README's two pictures of the window, under Xvfb with a window manager: a skin before a
# run (source and destination chosen), and the end of a run (the summary over the recovered
# files). The run is the window end-to-end test on a card image made at run time.
# Output: docs/window-before-run.png, docs/window-after-run.png. BUILD_DIR picks the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
for program in "$build/tests/ui/ui_tests" "$build/cli/mtsrescue-cli"; do
  if [ ! -x "$program" ]; then
    echo "screenshots.sh: $program is not built; first: cmake --build $build" >&2
    exit 1
  fi
done
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
python3 tests/ui/window_end_to_end.py --tests "$build/tests/ui/ui_tests" --cli "$build/cli/mtsrescue-cli" \
  --work /tmp/mtsrescue-demo --screenshots "$shots"
mkdir -p docs
for name in window-before-run window-after-run; do
  # A palette of 128 colours keeps each picture small; the window has few colours anyway.
  convert "$shots/$name.png" -strip -colors 128 "PNG8:docs/$name.png"
  echo "docs/$name.png: $(stat -c %s "docs/$name.png") bytes"
done
