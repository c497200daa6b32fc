#!/usr/bin/env bash
# Builds a static Qt 6 for 64-bit Windows (MinGW-w64) from Debian's own qt6-base source, the
# version of the host Qt, whose moc, rcc and uic it runs. Installs it into a cache folder outside
# the clone, so that later runs (and other clones) reuse it; does nothing when it is there.
#
# Environment: MTSRESCUE_QT_WIN (install folder, default /var/cache/mtsrescue/qt6-mingw-6.4.2),
# MTSRESCUE_QT_WIN_WORK (source and build tree, default <install folder>.work, removed after a
# good build), MTSRESCUE_JOBS (default 2). The whole log goes to <install folder>.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=6.4.2
prefix=${MTSRESCUE_QT_WIN:-/var/cache/mtsrescue/qt6-mingw-$version}
work=${MTSRESCUE_QT_WIN_WORK:-$prefix.work}
jobs=${MTSRESCUE_JOBS:-2}
log=$prefix.log
started=$SECONDS

say() { echo "build-qt-windows: $*"; }
fail() { say "FAILED: $*"; exit 1; }

# What the window needs: Core, Gui, Widgets, Network, Test and the windows and offscreen platform
# plugins. Debian's repacked source lacks wintab.h (hence no tablet events); the windows plugin
# does not build with OpenGL off unless dynamic GL is off too. Direct2D stays on: Qt Gui builds its
# DirectWrite font database (which the windows plugin uses) only with it; Direct2D 1.1 only adds
# the direct2d platform plugin, a second windows plugin that nothing loads. JPEG (Qt's own libjpeg)
# for the recordings' pictures, which the window shows.
options=(-DCMAKE_BUILD_TYPE=Release
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DBUILD_SHARED_LIBS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_sql=OFF -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DINPUT_openssl=no
  -DFEATURE_tabletevent=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_direct2d1_1=OFF -DFEATURE_tuiotouch=OFF
  -DFEATURE_gif=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_freetype=OFF -DFEATURE_system_libpng=OFF -DFEATURE_system_libjpeg=OFF)
recipe="Qt $version for MinGW-w64, static: ${options[*]}"

# The options are the cache's key: a Qt built with others is built again.
if [ -f "$prefix/.complete" ]; then
  if [ "$(head -1 "$prefix/.complete")" = "$recipe" ]; then
    say "Qt $version for MinGW-w64 already in $prefix"
    exit 0
  fi
  say "the Qt in $prefix was built with other options: building it again"
fi
host_version=$(dpkg-query -W -f '${Version}' qt6-base-dev 2>/dev/null || true)
case "$host_version" in
  "$version"+*) ;;
  *) fail "the host Qt is not $version (qt6-base-dev: '${host_version:-not installed}'); its tools must match" ;;
esac
command -v x86_64-w64-mingw32-g++-posix >/dev/null || fail "MinGW-w64 not installed (apt-get install g++-mingw-w64-x86-64)"
command -v dpkg-source >/dev/null || fail "dpkg-source not installed (apt-get install dpkg-dev)"

# A half-made install from a broken run is worth nothing.
rm -rf "$prefix" "$work"
mkdir -p "$work" "$(dirname "$prefix")"
: >"$log"
say "building Qt $version for MinGW-w64 into $prefix (log: $log); this takes long"

# shellcheck source=tools/debian-source.sh
. "$root/tools/debian-source.sh"
debian_source qt6-base "$host_version" "$work" "$log" || fail "fetching Debian's qt6-base source"
src=$(find "$work" -maxdepth 1 -type d -name "qt6-base-$version*" | head -1)
[ -n "$src" ] && [ -f "$src/CMakeLists.txt" ] || fail "no qt6-base-$version source tree in $work"
say "source: $(basename "$src") (fetched in $((SECONDS - started)) s)"

configure=(cmake -S "$src" -B "$work/build" -G Ninja
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}")
# Other engineers share the cores: the build yields to them.
quiet=(nice -n 19)
if command -v ionice >/dev/null; then quiet+=(ionice -c3); fi
"${quiet[@]}" "${configure[@]}" >>"$log" 2>&1 || { tail -40 "$log"; fail "configuring Qt"; }
say "configured after $((SECONDS - started)) s; compiling with -j$jobs"
"${quiet[@]}" cmake --build "$work/build" -j "$jobs" >>"$log" 2>&1 || { tail -40 "$log"; fail "compiling Qt"; }
"${quiet[@]}" cmake --install "$work/build" >>"$log" 2>&1 || { tail -20 "$log"; fail "installing Qt"; }
for plugin in plugins/platforms/libqwindows.a plugins/platforms/libqoffscreen.a lib/libQt6Widgets.a lib/libQt6Test.a lib/libQt6Network.a; do
  [ -f "$prefix/$plugin" ] || fail "$prefix/$plugin was not installed"
done

took=$((SECONDS - started))
printf '%s\n%s\n' "$recipe" "from $(basename "$src"); built in $took s on $(nproc) cores with -j$jobs" >"$prefix/.complete"
rm -rf "$work"
say "done: Qt $version in $prefix, built in $((took / 60)) min $((took % 60)) s"
