#!/usr/bin/env bash
# Builds the few static FFmpeg libraries the thumbnails need (libavcodec with the H.264 decoder and
# parser and the MJPEG encoder, libswscale, libavutil) for 64-bit Windows (MinGW-w64), from
# Debian's own ffmpeg source package, the version of the host's libavcodec. Installs them into a
# cache folder outside the clone, so that later runs (and other clones) reuse them; does nothing
# when they are there and were built with the same options.
#
# With --prefix it only prints the install folder.
# Environment: MTSRESCUE_FFMPEG_WIN (install folder, default /var/cache/mtsrescue/ffmpeg-mingw-<version>),
# MTSRESCUE_FFMPEG_WIN_WORK (source and build tree, default <install folder>.work, removed after a
# good build), MTSRESCUE_JOBS (default 2). The whole log goes to <install folder>.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
say() { echo "build-ffmpeg-windows: $*"; }
fail() { say "FAILED: $*"; exit 1; }

# The upstream version of the host's libavcodec (Debian: 7:5.1.9-0+deb12u1 -> 5.1.9).
host_version=$(dpkg-query -W -f '${Version}' libavcodec-dev 2>/dev/null || true)
[ -n "$host_version" ] || fail "libavcodec-dev is not installed (tools/install-deps.sh installs it)"
version=${host_version#*:}
version=${version%%-*}
prefix=${MTSRESCUE_FFMPEG_WIN:-/var/cache/mtsrescue/ffmpeg-mingw-$version}
work=${MTSRESCUE_FFMPEG_WIN_WORK:-$prefix.work}
jobs=${MTSRESCUE_JOBS:-2}
log=$prefix.log
started=$SECONDS
if [ "${1:-}" = "--prefix" ]; then
  echo "$prefix"
  exit 0
fi

# Only what making a picture from H.264 needs; nothing found on the build machine is linked in
# (--disable-autodetect), so the result depends on nothing but Windows itself. No assembler: the
# thumbnails decode a few frames each, and nasm would be one more tool to install.
options=(--target-os=mingw32 --arch=x86_64 --enable-cross-compile --cross-prefix=x86_64-w64-mingw32-
  --cc=x86_64-w64-mingw32-gcc-posix --enable-static --disable-shared --disable-autodetect
  --disable-programs --disable-doc --disable-network --disable-everything
  --disable-avdevice --disable-avformat --disable-avfilter --disable-swresample --disable-postproc
  --enable-avcodec --enable-swscale --enable-decoder=h264 --enable-parser=h264 --enable-encoder=mjpeg
  --disable-x86asm --disable-debug)
recipe="FFmpeg $version for MinGW-w64, static: ${options[*]}"

# The options are the cache's key: libraries built with others are built again.
if [ -f "$prefix/.complete" ]; then
  if [ "$(head -1 "$prefix/.complete")" = "$recipe" ]; then
    say "FFmpeg $version for MinGW-w64 already in $prefix"
    exit 0
  fi
  say "the FFmpeg in $prefix was built with other options: building it again"
fi
command -v x86_64-w64-mingw32-gcc-posix >/dev/null || fail "MinGW-w64 not installed (apt-get install gcc-mingw-w64-x86-64)"
command -v dpkg-source >/dev/null || fail "dpkg-source not installed (apt-get install dpkg-dev)"

# A half-made install from a broken run is worth nothing.
rm -rf "$prefix" "$work"
mkdir -p "$work" "$(dirname "$prefix")"
: >"$log"
say "building FFmpeg $version for MinGW-w64 into $prefix (log: $log)"

# shellcheck source=tools/debian-source.sh
. "$root/tools/debian-source.sh"
debian_source ffmpeg "$host_version" "$work" "$log" || fail "fetching Debian's ffmpeg source"
src=$(find "$work" -maxdepth 1 -type d -name "ffmpeg-$version*" | head -1)
[ -n "$src" ] && [ -x "$src/configure" ] || fail "no ffmpeg-$version source tree in $work"
say "source: $(basename "$src") (fetched in $((SECONDS - started)) s)"

# Other engineers share the cores: the build yields to them.
quiet=(nice -n 19)
if command -v ionice >/dev/null; then quiet+=(ionice -c3); fi
mkdir -p "$work/build"
cd "$work/build"
"${quiet[@]}" "$src/configure" --prefix="$prefix" "${options[@]}" >>"$log" 2>&1 || { tail -40 "$log"; fail "configuring FFmpeg"; }
say "configured after $((SECONDS - started)) s; compiling with -j$jobs"
"${quiet[@]}" make -j "$jobs" >>"$log" 2>&1 || { tail -40 "$log"; fail "compiling FFmpeg"; }
"${quiet[@]}" make install >>"$log" 2>&1 || { tail -20 "$log"; fail "installing FFmpeg"; }
for file in lib/libavcodec.a lib/libswscale.a lib/libavutil.a lib/pkgconfig/libavcodec.pc include/libavcodec/avcodec.h; do
  [ -f "$prefix/$file" ] || fail "$prefix/$file was not installed"
done
# The licence the libraries are under travels with the Windows packages.
cp "$src/COPYING.LGPLv2.1" "$prefix/COPYING.LGPLv2.1"

took=$((SECONDS - started))
printf '%s\n%s\n' "$recipe" "from $(basename "$src"); built in $took s on $(nproc) cores with -j$jobs" >"$prefix/.complete"
cd "$root"
rm -rf "$work"
say "done: FFmpeg $version in $prefix, built in $((took / 60)) min $((took % 60)) s"
