#!/usr/bin/env bash
# Makes the Debian package from a build, checks it with lintian (an error fails), installs it with
# apt-get, recovers a card image with the installed mtsrescue-cli (the same files as the build's
# own), and validates the installed desktop entry and AppStream metainfo. Removes the package again unless it was installed before.
#
# Needs root or sudo (apt-get install); skips (exit 0, one "skipped:" line) without them or off Debian.
# Environment: BUILD_DIR (default build, already built).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD_DIR:-build}
started=$SECONDS

say() { echo "test-package: $*"; }
skip() { say "skipped: $*"; exit 0; }
fail() { say "FAILED: $*"; exit 1; }

command -v dpkg-deb >/dev/null && command -v apt-get >/dev/null || skip "not a Debian system"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || skip "installing the package needs root or sudo"
  sudo="sudo"
fi
[ -x "$build/cli/mtsrescue-cli" ] || fail "$build is not built"
for tool in cpack desktop-file-validate appstreamcli help2man lintian; do
  command -v "$tool" >/dev/null || fail "$tool is missing (tools/install-deps.sh installs it)"
done

rm -f "$build"/packages/mtsrescue_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log"; fail "cpack -G DEB"; }
deb=$(ls "$root/$build"/packages/mtsrescue_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "cpack made no mtsrescue_*.deb"
say "made $(basename "$deb") ($(stat -c %s "$deb") bytes)"
# Debian's checks of the package: an error fails the test; warnings are shown.
lintian --tag-display-limit 0 "$deb" >"$build/lintian.log" 2>&1 || true
if grep -q '^E: ' "$build/lintian.log"; then
  grep '^E: ' "$build/lintian.log"
  fail "lintian finds errors in $(basename "$deb") (all it says: $build/lintian.log)"
fi
say "lintian: no errors, $(grep -c '^W: ' "$build/lintian.log" || true) warnings (see $build/lintian.log)"

was_installed=no
if dpkg-query -W -f='${Status}' mtsrescue 2>/dev/null | grep -q 'install ok installed'; then was_installed=yes; fi
work=$(mktemp -d)
cleanup() {
  rm -rf "$work"
  if [ "$was_installed" = no ]; then
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq mtsrescue >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT
say "installing it with apt-get"
# Without the recommended UDisks2 and fonts: the test needs neither, and CI stays fast.
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get install $deb"; }

# What the package put in place, and that every library the programs need is there.
files=$(dpkg -L mtsrescue)
for wanted in /usr/bin/mtsrescue /usr/bin/mtsrescue-cli /usr/share/man/man1/mtsrescue-cli.1.gz \
              /usr/share/man/man1/mtsrescue.1.gz /usr/share/doc/mtsrescue/copyright \
              /usr/share/doc/mtsrescue/changelog.Debian.gz; do
  grep -qx "$wanted" <<<"$files" || fail "the package lacks $wanted"
done
desktop=$(grep -E '^/usr/share/applications/.*\.desktop$' <<<"$files") || fail "the package has no desktop entry"
metainfo=$(grep -E '^/usr/share/metainfo/.*\.metainfo\.xml$' <<<"$files") || fail "the package has no AppStream metainfo"
icon=$(grep -E "^/usr/share/icons/hicolor/.*/apps/$(basename "$desktop" .desktop)\.png$" <<<"$files") ||
  fail "the package has no icon named after its desktop entry"
for program in /usr/bin/mtsrescue /usr/bin/mtsrescue-cli; do
  if ldd "$program" | grep -q 'not found'; then ldd "$program"; fail "$program misses libraries the package does not depend on"; fi
done
desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
grep -q '^Name\[zh_CN\]=' "$desktop" && grep -q '^Name=' "$desktop" || fail "the desktop entry lacks its Chinese or English name"
grep -qx 'Categories=Utility;System;' "$desktop" || fail "the desktop entry's categories"
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 || { cat "$work/appstream.log"; fail "appstreamcli validate $metainfo"; }
grep -q -- 'dry\\-run' <<<"$(zcat /usr/share/man/man1/mtsrescue-cli.1.gz)" || fail "the man page does not hold the options"
say "installed: programs, desktop entry, metainfo, icon ($(basename "$icon")) and man page valid"

# The installed command line recovers a card image, and writes what the build's own writes.
python3 tests/fixtures/make_card.py "$work/card.img" --manifest "$work/card.json" >/dev/null
status=0
/usr/bin/mtsrescue-cli --quiet "$work/card.img" "$work/installed" >/dev/null || status=$?
[ "$status" -eq 0 ] || fail "the installed mtsrescue-cli exited with $status"
"$build/cli/mtsrescue-cli" --quiet "$work/card.img" "$work/built" >/dev/null
diff -r "$work/built" "$work/installed" >/dev/null || fail "the installed mtsrescue-cli wrote other files than the build's"
count=$(find "$work/installed" -name '*.MTS' | wc -l)
[ "$count" -gt 0 ] || fail "no .MTS file recovered from the card image"
say "installed mtsrescue-cli recovered $count files from a card image, the same as the build's"
say "passed in $((SECONDS - started)) s"
