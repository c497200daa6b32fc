#!/usr/bin/env bash
# Builds the core, mtsrescue-cli.exe and their tests for 64-bit Windows (MinGW-w64) in
# build-win/, runs the tests under Wine, then recovers one card image with the Windows and the
# Linux build and checks that both wrote the same files, byte for byte.
# With the MinGW Qt of tools/build-qt-windows.sh it also builds the window, mtsrescue.exe, and the
# Qt tests of ui/ and support/ (run offscreen under Wine), checks that the program needs no DLL
# that Windows lacks, starts it under Wine and Xvfb and takes a screenshot, recovers the card
# image once through the window's commands (same files again), and makes the zip and the
# installer, which it installs and uninstalls under Wine. Without that Qt the window is left out,
# except in CI (CI=true), which builds the Qt first (slow, once: the cache outlives the clone).
#
# Skips (exit 0, one "skipped:" line) where MinGW-w64 or Wine is not installed.
# Environment: MTSRESCUE_WIN_BUILD (default build-win), MTSRESCUE_NATIVE_BUILD (a Linux build
# holding cli/mtsrescue-cli; default build, else one is made in build-win/native), MTSRESCUE_JOBS,
# MTSRESCUE_QT_WIN (the MinGW Qt, default /var/cache/mtsrescue/qt6-mingw-6.4.2), MTSRESCUE_FFMPEG_WIN
# (the MinGW FFmpeg of tools/build-ffmpeg-windows.sh, default its cache folder).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${MTSRESCUE_WIN_BUILD:-$root/build-win}
native=${MTSRESCUE_NATIVE_BUILD:-$root/build}
jobs=${MTSRESCUE_JOBS:-$(nproc)}
started=$SECONDS

say() { echo "test-windows: $*"; }
skip() { say "skipped: $*"; exit 0; }

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null && ! command -v x86_64-w64-mingw32-g++ >/dev/null; then
  skip "MinGW-w64 not installed (apt-get install g++-mingw-w64-x86-64)"
fi
wine=""
for candidate in /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64 "$(command -v wine64 || true)"; do
  if [ -n "$candidate" ] && [ -x "$candidate" ]; then wine=$candidate; break; fi
done
[ -n "$wine" ] || skip "wine not installed (apt-get install wine wine64)"
[ -f /usr/src/googletest/CMakeLists.txt ] || skip "GoogleTest sources not installed (apt-get install googletest)"
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

# A private Wine prefix, made without a display; Mono and Gecko are not wanted.
mkdir -p "$build"
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  say "making the Wine prefix $WINEPREFIX"
  env -u DISPLAY -u WAYLAND_DISPLAY "$wine" wineboot -i >"$build/wineboot.log" 2>&1 || {
    cat "$build/wineboot.log"; say "FAILED: wineboot"; exit 1; }
  "$wineserver" -w  # the server of the first start lingers; the persistent one replaces it
fi
# One wine server for the whole run, so that each test process starts in milliseconds. The
# server and Wine's own services are started here with no pipe open: started by a test, they
# would keep its output pipe open and ninja or ctest would wait for them for ever.
if "$wineserver" -p </dev/null >/dev/null 2>&1; then
  trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
else
  say "a wine server already runs for $WINEPREFIX: using it"
fi
"$wine" wineboot </dev/null >/dev/null 2>&1

werror=OFF
if [ "${CI:-}" = "true" ]; then werror=ON; fi
qt_win=${MTSRESCUE_QT_WIN:-/var/cache/mtsrescue/qt6-mingw-6.4.2}
gui=OFF
if [ "${CI:-}" = "true" ]; then
  # Returns at once when the cache holds a Qt built with the script's options.
  if [ ! -f "$qt_win/.complete" ]; then
    say "no MinGW Qt in $qt_win: building it now (slow: see the README; later runs reuse it)"
  fi
  MTSRESCUE_QT_WIN=$qt_win "$root/tools/build-qt-windows.sh"
  gui=ON
elif [ -f "$qt_win/.complete" ]; then
  gui=ON
else
  say "no MinGW Qt in $qt_win (tools/build-qt-windows.sh makes it): the window is not built"
fi
qt_arg=""
if [ "$gui" = ON ]; then qt_arg=$qt_win; fi
# FFmpeg for the thumbnails: CI builds it when its cache is missing (minutes, once); elsewhere it
# is used where tools/build-ffmpeg-windows.sh left it, and the programs make no pictures without it.
ffmpeg_win=${MTSRESCUE_FFMPEG_WIN:-$("$root/tools/build-ffmpeg-windows.sh" --prefix)}
if [ "${CI:-}" = "true" ]; then MTSRESCUE_FFMPEG_WIN=$ffmpeg_win "$root/tools/build-ffmpeg-windows.sh"; fi
ffmpeg_arg=""
if [ -f "$ffmpeg_win/.complete" ]; then
  ffmpeg_arg=$ffmpeg_win
else
  say "no MinGW FFmpeg in $ffmpeg_win (tools/build-ffmpeg-windows.sh makes it): no thumbnails"
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DMTSRESCUE_BUILD_GUI="$gui" -DMTSRESCUE_WINDOWS_QT="$qt_arg" \
  -DMTSRESCUE_WINDOWS_FFMPEG="$ffmpeg_arg" \
  -DMTSRESCUE_BUILD_BENCH=OFF -DMTSRESCUE_WERROR="$werror" >"$build/configure.log" || {
  cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "$jobs"
if [ "$gui" = ON ]; then
  # Qt's offscreen platform on Windows takes its fonts from one folder (QT_QPA_FONTDIR), not from
  # the system's list: the prefix's Fonts folder, given a Chinese font as a Chinese Windows has.
  # Wine passes no QT_* variable on from Linux, so it is set in the prefix's own environment (the
  # tests choose the offscreen platform themselves).
  fonts=$WINEPREFIX/drive_c/windows/Fonts
  mkdir -p "$fonts"
  for family in "WenQuanYi Zen Hei" "DejaVu Sans"; do
    file=$(fc-match -f '%{file}' "$family" 2>/dev/null || true)
    if [ -f "$file" ]; then ln -sfn "$file" "$fonts/$(basename "$file")"; fi
  done
  "$wine" reg add 'HKCU\Environment' /v QT_QPA_FONTDIR /t REG_SZ /d 'C:\windows\Fonts' /f </dev/null >/dev/null
fi
# A Wine process now and then ends at once, printing nothing (seen once in four runs of the whole
# suite, on a test that passed in every other run): failed tests run once more, and are named.
if ! (cd "$build" && ctest --output-on-failure -j "$jobs"); then
  failed=$(sed 's/^[0-9]*://' "$build/Testing/Temporary/LastTestsFailed.log" | paste -sd' ')
  say "failed under Wine, run once more: $failed"
  (cd "$build" && ctest --rerun-failed --output-on-failure) || { say "FAILED again: $failed"; exit 1; }
  say "passed on the second run: $failed"
fi

# The same card image recovered by both builds.
cli_exe=$build/cli/mtsrescue-cli.exe
e2e=$build/cross-check
make_card=$root/tests/fixtures/make_card.py
if [ ! -f "$cli_exe" ]; then
  say "no mtsrescue-cli.exe built: cross-check skipped"
elif [ ! -f "$make_card" ] || ! command -v python3 >/dev/null; then
  say "no card fixture script or python3: cross-check skipped"
else
  native_cli=$native/cli/mtsrescue-cli
  if [ -f "$native/CMakeCache.txt" ]; then
    cmake --build "$native" -j "$jobs" --target mtsrescue-cli >/dev/null  # never compare with a stale one
  else
    native=$build/native
    cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMTSRESCUE_BUILD_GUI=OFF \
      -DMTSRESCUE_BUILD_TESTS=OFF -DMTSRESCUE_BUILD_BENCH=OFF >"$build/native-configure.log"
    cmake --build "$native" -j "$jobs" --target mtsrescue-cli
    native_cli=$native/cli/mtsrescue-cli
  fi
  rm -rf "$e2e"
  mkdir -p "$e2e/linux" "$e2e/windows" "$e2e/root" "$e2e/drive-m"
  python3 "$make_card" "$e2e/card.img" --manifest "$e2e/card.json" --size-mib 40 >/dev/null
  "$native_cli" --quiet "$e2e/card.img" "$e2e/linux"
  "$wine" "$cli_exe" --quiet "Z:${e2e//\//\\}\\card.img" "Z:${e2e//\//\\}\\windows"
  diff -r "$e2e/linux" "$e2e/windows" || { say "FAILED: the Windows build wrote other files than the Linux build"; exit 1; }
  count=$(find "$e2e/linux" -name '*.MTS' | wc -l)
  [ "$count" -gt 0 ] || { say "FAILED: no .MTS file recovered from the card image"; exit 1; }
  say "cross-check: $count files from the Windows build byte-identical to the Linux build's"
  # A destination named in Chinese ("恢复的视频"): the wide command line, folder and file creation
  # all carry it; Wine takes the name from the UTF-8 locale and stores it as UTF-8 here.
  LC_ALL=C.UTF-8 "$wine" "$cli_exe" --quiet "$e2e/card.img" "$e2e/恢复的视频"
  diff -r "$e2e/linux" "$e2e/恢复的视频" || { say "FAILED: a destination named in Chinese"; exit 1; }
  say "destination named in Chinese: same files"

  if ! "$wine" "$cli_exe" --help | grep -q -- '--list'; then
    say "mtsrescue-cli.exe has no --list: drive checks skipped"
  else
    # --list as far as Wine has disks and volumes: its one stand-in disk, no volume (Wine reports
    # neither labels nor extents for its drives).
    "$wine" "$cli_exe" --list >"$e2e/list.txt" || { cat "$e2e/list.txt"; say "FAILED: --list"; exit 1; }
    "$wine" "$cli_exe" --list --json | python3 -m json.tool >/dev/null || { say "FAILED: --list --json is not JSON"; exit 1; }
    if grep -q '^PhysicalDrive0' "$e2e/list.txt" &&
       ! grep -qF "$(printf 'PhysicalDrive0\tHD0, ')" "$e2e/list.txt"; then
      cat "$e2e/list.txt"; say "FAILED: --list shows disk 0 without its caption"; exit 1
    fi
    # Drive M: of the prefix has the card image as its device (\\.\M:), drive R: an empty folder as
    # its root. Recovering the short form "M:" into the root "R:\" must give the same files, named
    # "R:\\<n>.MTS" (a drive root gets its separator twice, which Windows accepts).
    ln -sfn "$e2e/drive-m" "$WINEPREFIX/dosdevices/m:"
    ln -sfn "$e2e/card.img" "$WINEPREFIX/dosdevices/m::"
    ln -sfn "$e2e/root" "$WINEPREFIX/dosdevices/r:"
    status=0
    "$wine" "$cli_exe" --json M: 'R:\' >"$e2e/m.json" || status=$?
    rm -f "$WINEPREFIX/dosdevices/m:" "$WINEPREFIX/dosdevices/m::" "$WINEPREFIX/dosdevices/r:"
    [ "$status" -eq 0 ] || { cat "$e2e/m.json"; say "FAILED: recovery of M: exited with $status"; exit 1; }
    diff -r "$e2e/linux" "$e2e/root" || { say "FAILED: recovery of M: into R:\\ differs from the Linux build's files"; exit 1; }
    grep -qF '"file": "R:\\\\0.MTS"' "$e2e/m.json" || { cat "$e2e/m.json"; say "FAILED: output names in a drive root"; exit 1; }
    say "drive short form M: recovered into the drive root R:\\: same files, named R:\\\\<n>.MTS"
  fi
fi

if [ "$gui" = ON ]; then
  "$root/tools/test-windows-gui.sh" "$build" "$wine" "$e2e"
fi
say "passed in $((SECONDS - started)) s"
