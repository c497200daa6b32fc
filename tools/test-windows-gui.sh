#!/usr/bin/env bash
# The window's part of tools/test-windows.sh, which calls it after its own checks with the Wine
# prefix and server still up: BUILD (the MinGW build with the window), WINE (the 64-bit loader)
# and CROSS (the folder holding card.img and linux/, the Linux build's files recovered from it).
#
# 1. mtsrescue.exe imports no DLL that a bare Windows lacks, and carries its manifest and version;
# 2. it starts under Wine on an X server of its own (Xvfb), its window appears, screenshot taken;
# 3. window_drive.exe recovers card.img through the window's commands: the same files as Linux's,
#    with Qt's Chinese translations found inside the program;
# 4. cpack makes the zip and the installer; the installer and its uninstaller run silently under
#    Wine and put in place, then take away, the program and its Start-menu entry.
set -euo pipefail
build=$1
wine=$2
cross=$3
objdump=x86_64-w64-mingw32-objdump
exe=$build/ui/mtsrescue.exe
say() { echo "test-windows: $*"; }
fail() { say "FAILED: $*"; exit 1; }
winpath() { echo "Z:${1//\//\\}"; }

[ -f "$exe" ] || fail "no $exe built"
[ -f "$cross/card.img" ] && [ -d "$cross/linux" ] || fail "no card image and Linux files in $cross"

# 1. Only DLLs that every Windows 10 and 11 has: no Qt, no MinGW runtime beside the program.
windows_dlls=" advapi32.dll authz.dll bcrypt.dll comdlg32.dll crypt32.dll d3d11.dll d3d12.dll
  d2d1.dll d3d9.dll dcomp.dll dnsapi.dll dwmapi.dll dwrite.dll dxgi.dll gdi32.dll imm32.dll
  iphlpapi.dll kernel32.dll
  mpr.dll msvcrt.dll ncrypt.dll netapi32.dll ole32.dll oleaut32.dll secur32.dll setupapi.dll
  shcore.dll shell32.dll shlwapi.dll user32.dll userenv.dll uxtheme.dll version.dll winhttp.dll
  winmm.dll ws2_32.dll
  wtsapi32.dll"
windows_dlls=" $(echo $windows_dlls) "  # one line, each name between blanks
for program in "$exe" "$build/cli/mtsrescue-cli.exe"; do
  imports=$("$objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  [ -n "$imports" ] || fail "no imports read from $program"
  for dll in $imports; do
    # API sets (api-ms-win-*) are names that Windows 8 and later resolve to their own DLLs.
    case "$dll" in api-ms-win-*) continue ;; esac
    case "$windows_dlls" in
      *" $dll "*) ;;
      *) fail "$(basename "$program") needs $dll, which Windows does not ship" ;;
    esac
  done
  say "$(basename "$program") imports only Windows' own DLLs: $(echo $imports)"
done
# The manifest is stored as it is written; the version record in UTF-16.
grep -qa 'requireAdministrator' "$exe" || fail "mtsrescue.exe carries no manifest asking for administrator rights"
grep -qaP 'F\x00i\x00l\x00e\x00D\x00e\x00s\x00c\x00r\x00i\x00p\x00t\x00i\x00o\x00n' "$exe" ||
  fail "mtsrescue.exe has no version record"

# 2. The real program on a display of its own. Wine's desktop process picks its display driver
# when it starts, so the server of the prefix starts again under this display.
xvfb_pid=""
program_pid=""
cleanup() {
  if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
exec 9>"$build/xvfb.display"
Xvfb -displayfd 9 -screen 0 1280x800x24 -nolisten tcp >"$build/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 9>&-
for _ in $(seq 50); do [ -s "$build/xvfb.display" ] && break; sleep 0.1; done
[ -s "$build/xvfb.display" ] || fail "Xvfb did not start (see $build/xvfb.log)"
export DISPLAY=:$(head -1 "$build/xvfb.display")
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w
"$wineserver" -p </dev/null >/dev/null 2>&1
"$wine" wineboot </dev/null >/dev/null 2>&1

"$wine" "$exe" >"$build/window.log" 2>&1 &
program_pid=$!
window=""
for _ in $(seq 120); do
  window=$(xdotool search --onlyvisible --name 'mtsrescue' 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  kill -0 "$program_pid" 2>/dev/null || { cat "$build/window.log"; fail "mtsrescue.exe ended before its window appeared"; }
  sleep 0.5
done
[ -n "$window" ] || { cat "$build/window.log"; fail "no window of mtsrescue.exe appeared within 60 s"; }
sleep 3  # the skin and the file list are painted after the first showing
title=$(xdotool getwindowname "$window")
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root "$build/window.png"
colours=$(identify -format '%k' "$build/window.png")
[ "$WIDTH" -ge 400 ] && [ "$HEIGHT" -ge 300 ] || fail "the window is only ${WIDTH}x${HEIGHT}"
[ "$colours" -ge 16 ] || fail "the screenshot has $colours colours: nothing drawn"
say "window \"$title\" appeared (${WIDTH}x${HEIGHT}); screenshot $build/window.png ($colours colours)"
kill "$program_pid" 2>/dev/null || true
wait "$program_pid" 2>/dev/null || true
program_pid=""

# 3. One recovery from the window, on the same display.
drive=$build/tests/ui/window_drive.exe
[ -f "$drive" ] || fail "no $drive built"
rm -rf "$cross/window"
mkdir -p "$cross/window"
"$wine" "$drive" "$(winpath "$cross/card.img")" "$(winpath "$cross/window")" >"$build/window-drive.log" 2>&1 || {
  cat "$build/window-drive.log"; fail "the recovery from the window under Wine"; }
grep -q '^qt translations: zh_CN in :/translations' "$build/window-drive.log" || {
  cat "$build/window-drive.log"; fail "Qt's Chinese translations are not inside the program"; }
# The window also makes the recordings' pictures after the run, which that run was not asked for.
diff -r -x thumbnails -x index.html "$cross/linux" "$cross/window" ||
  fail "the window under Wine wrote other files than the Linux build"
say "recovery from the window: $(grep '^hits' "$build/window-drive.log"), byte-identical to the Linux build's"

# 4. The packages, and the installer at work.
(cd "$build" && cpack -G "ZIP;NSIS" >"$build/cpack.log" 2>&1) || { cat "$build/cpack.log"; fail "cpack"; }
zip=$(ls "$build"/packages/mtsrescue-*-win64.zip)
installer=$(ls "$build"/packages/mtsrescue-*-win64.exe)
listing=$(unzip -Z1 "$zip" | grep -v '/$' | sed 's|^[^/]*/||' | LC_ALL=C sort | paste -sd' ')
[ "$listing" = "LICENSE.txt bin/mtsrescue-cli.exe bin/mtsrescue.exe licenses/LGPL-2.1.txt licenses/LGPL-3.0.txt licenses/THIRD-PARTY.txt" ] ||
  fail "the zip holds $listing"
say "portable zip $(basename "$zip"): $listing"
grep -qa 'requireAdministrator' "$installer" || fail "the installer does not ask for administrator rights"
target='C:\mtsrescue-test'
installed=$WINEPREFIX/drive_c/mtsrescue-test
rm -rf "$installed"
"$wine" "$installer" /S "/D=$target" >"$build/install.log" 2>&1 || { cat "$build/install.log"; fail "the installer"; }
cmp "$exe" "$installed/bin/mtsrescue.exe" || fail "the installer did not put mtsrescue.exe in place"
for text in LICENSE.txt licenses/LGPL-3.0.txt licenses/LGPL-2.1.txt licenses/THIRD-PARTY.txt; do
  [ -f "$installed/$text" ] || fail "the installer did not put $text in place"
done
[ -f "$installed/Uninstall.exe" ] || fail "the installer wrote no uninstaller"
menu_entry=$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'mtsrescue.lnk' | head -1)
[ -n "$menu_entry" ] || fail "the installer made no Start-menu entry"
# _?= keeps the uninstaller in place, so that it ends when its work is done.
"$wine" "$installed/Uninstall.exe" /S "_?=$target" >>"$build/install.log" 2>&1 || { cat "$build/install.log"; fail "the uninstaller"; }
[ ! -e "$installed/bin/mtsrescue.exe" ] || fail "the uninstaller left mtsrescue.exe"
[ ! -e "$menu_entry" ] || fail "the uninstaller left the Start-menu entry"
rm -rf "$installed"
say "installer $(basename "$installer"): installs into $target with a Start-menu entry, uninstalls cleanly"
