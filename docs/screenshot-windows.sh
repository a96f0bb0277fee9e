#!/usr/bin/env bash
# Takes docs/portelle-dialog-windows.png: the native Windows dialog as a user
# sees it on a 10.6 SP2 installation, run under Wine in a Wine desktop (which
# draws the Windows frame itself) on a virtual X display (Xvfb), and read
# back from the screen by portelle-snapshot.exe. Needs the packages xvfb and
# xauth, Wine (`./run windows` installs it) and the Windows build in
# build-windows/ (or BUILD_DIR=...), and Wine's own fonts (fonts-wine,
# installed here when missing: Tahoma stands in for "MS Shell Dlg", Marlett
# draws the caption buttons). The registry key of the sample installation is
# written into a Wine prefix of the script's own (build-windows/wine-screenshot,
# or WINEPREFIX=...); no service runs.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! dpkg-query -W -f='${Status}' fonts-wine 2>/dev/null | grep -q "install ok installed"; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends fonts-wine
fi
build=${BUILD_DIR:-build-windows}
cmake --build "$build" --target portelle-snapshot
snapshot="$(cd "$build" && pwd)/bin/portelle-snapshot.exe"
export WINEPREFIX=${WINEPREFIX:-$(cd "$build" && pwd)/wine-screenshot}
export WINEDEBUG=-all
# A Wine session keeps the display it started with: end any session of this
# prefix, so that the one below starts on the virtual display.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
[ -d "$WINEPREFIX" ] || wine wineboot -i > /dev/null 2>&1
# This Wine finds its own fonts only in the prefix's font folder.
cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

# A minimal installation: the registry key and an install folder.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/server"
: > "$work/server/bsnscan.ini"
key='HKLM\SOFTWARE\Korvane\Bastionel\service\Information'
wine reg add "$key" /v Server_Version /t REG_SZ /d 10.6 /f > /dev/null
wine reg add "$key" /v ServicePack_VersionNumber /t REG_DWORD /d 2 /f > /dev/null
wine reg delete "$key" /v Patch_VersionNumber /f > /dev/null 2>&1 || true
wine reg add "$key" /v Local_Path /t REG_SZ /d "Z:${work//\//\\}\\server\\" /f > /dev/null
wineserver -w

# The Wine desktop is the screen the dialog is centred on; the snapshot
# reads its own window back from it.
status=0
xvfb-run -a -s "-screen 0 800x600x24 -dpi 96 -nolisten tcp" \
  wine explorer /desktop=portelle,640x360 "$snapshot" "$PWD/docs/portelle-dialog-windows.png" \
  > "$work/wine.log" 2>&1 || status=$?
wineserver -k 2>/dev/null || true
if [ "$status" -ne 0 ] || [ ! -s docs/portelle-dialog-windows.png ]; then
  cat "$work/wine.log" >&2
  echo "the screenshot failed" >&2
  exit 1
fi
echo "wrote docs/portelle-dialog-windows.png"
