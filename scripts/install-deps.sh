#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Vantrell needs
# (openarena-088-data: free game levels that the importer checks run on; never committed;
# desktop-file-utils to unzip: the checks of the desktop installation and the dialog's game levels).
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libcli11-dev nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  libzip-dev zlib1g-dev libassimp-dev
  libepoxy-dev libegl-dev libegl1 libegl-mesa0 libgl1-mesa-dri libfreetype-dev libfontconfig-dev fontconfig
  fonts-liberation libpng-dev
  libsdl2-dev libgtk-3-dev xvfb xauth xdotool openbox imagemagick x11-utils
  desktop-file-utils shared-mime-info xdg-utils libfile-mimeinfo-perl man-db librsvg2-bin libglib2.0-bin unzip
  openarena-088-data
)
sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_if_needed apt-get update
  sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
