#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the programs need, when they are missing.
# Usage: scripts/install-deps.sh [extra-package...]
set -euo pipefail

packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libcurl4-openssl-dev ffmpeg nginx
          libavformat-dev libavcodec-dev libavutil-dev libpng-dev qt6-multimedia-dev
          qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libgl-dev fonts-dejavu-core
          xvfb xauth dbus-daemon "$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
