#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing TAVRO need.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format pkg-config
  qt6-base-dev qt6-qpa-plugins
  libasound2-dev alsa-utils
  libvorbis-dev libmpg123-dev libmp3lame-dev libflac-dev libopusfile-dev
  lame vorbis-tools flac opus-tools sox
  googletest libgtest-dev
  xvfb xauth x11-apps x11-utils imagemagick libxcb1-dev libxcb-xtest0-dev xdotool
  openbox wmctrl trayer
  at-spi2-core python3-gi gir1.2-atspi-2.0
  fonts-dejavu-core
  dpkg-dev file desktop-file-utils appstream dbus playerctl lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (${missing[*]}); run as root to install them" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
