#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need.
# Non-interactive and idempotent: quiet when everything is already present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git python3
  libsdl1.2-compat-dev libsdl-mixer1.2-dev libsdl-ttf2.0-dev libsdl-net1.2-dev
  libx11-dev libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool x11-apps x11-utils imagemagick sox console-data fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO -E apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
