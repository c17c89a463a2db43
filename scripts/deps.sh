#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Only missing packages are installed; apt-get update runs first when any are.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config ccache git
  qt6-base-dev libgl-dev libturbojpeg0-dev libjpeg62-turbo-dev libsdl2-dev libcurl4-openssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev clang-14 libclang-rt-14-dev
  iproute2 util-linux procps iputils-ping nftables rsync
  xvfb xauth x11-utils xdotool imagemagick openbox trayer fonts-dejavu-core
  sox ffmpeg linphone-cli kamailio python3-aiosmtpd
  dbus dbus-bin at-spi2-core python3-pyatspi
  dpkg-dev appstream desktop-file-utils
  # What the Debian package depends on, so that installing it fetches nothing.
  libqt6widgets6 libqt6gui6 libqt6network6 libqt6core6 libturbojpeg0 libsdl2-2.0-0 libcurl4
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
