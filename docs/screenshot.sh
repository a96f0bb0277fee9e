#!/usr/bin/env bash
# Takes docs/portelle-dialog.png: the main dialog as a user sees it on a
# 10.6 SP2 installation, shown on a virtual X display (Xvfb) under a window
# manager (openbox) and read back from the display. Needs the packages xvfb
# and xauth (`./run deps` installs them) and openbox (installed here when
# missing), and the build in build/ (`./run test`, or BUILD_DIR=...).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
if ! dpkg-query -W -f='${Status}' openbox 2>/dev/null | grep -q "install ok installed"; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends openbox
fi
cmake --build "$build" --target portelle-snapshot
snapshot="$(cd "$build" && pwd)/bin/portelle-snapshot"

# A minimal installation: the registry key and an install folder.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/server"
: > "$work/server/bsnscan.ini"
cat > "$work/registry.reg" <<EOF
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Bastionel\\service\\Information]
"Server_Version"="10.6"
"ServicePack_VersionNumber"=dword:00000002
"Local_Path"="$work/server/"
EOF

# openbox runs the snapshot once it manages the display, and then ends.
cat > "$work/take.sh" <<EOF
#!/bin/sh
"$snapshot" "$PWD/docs/portelle-dialog.png"
echo \$? > "$work/status"
openbox --exit
EOF
chmod +x "$work/take.sh"

# No log service listens in this pipe folder, so the log stays quiet.
env -u WAYLAND_DISPLAY BASTIONEL_REGISTRY="$work/registry.reg" BASTIONEL_PIPE_DIR="$work/pipes" \
  QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 800x600x24 -dpi 96 -nolisten tcp" \
  openbox --startup "$work/take.sh" > "$work/openbox.log" 2>&1 || true
if [ "$(cat "$work/status" 2>/dev/null)" != 0 ]; then
  cat "$work/openbox.log" >&2
  echo "the screenshot failed" >&2
  exit 1
fi
echo "wrote docs/portelle-dialog.png"
