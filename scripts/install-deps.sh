#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang pkg-config ccache mold
    libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
    libavcodec-dev libavutil-dev libswscale-dev libsdl2-dev qt6-base-dev dosfstools
    libudev-dev mtools fdisk gpsbabel ffmpeg fonts-dejavu-core dbus-daemon e2fsprogs
    xvfb xauth xdotool imagemagick x11-utils nodejs
    qt6-webengine-dev qt6-webchannel-dev libjs-leaflet
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
