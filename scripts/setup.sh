#!/usr/bin/env bash
# Installs every Debian package that building, running, testing and benchmarking need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libgif-dev libtiff-dev libopenjp2-7-dev libdeflate-dev
  liblcms2-dev libwebp-dev libavif-dev libheif-dev libjxl-dev
  libglib2.0-dev libx11-dev libxtst-dev shared-mime-info
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  imagemagick python3-pil netpbm libopenjp2-tools libjpeg-turbo-progs libvips-tools giflib-tools libtiff-tools
  colord-data webp libavif-bin libheif-examples libjxl-tools
  xvfb xauth x11-utils openbox xdotool xclip fonts-dejavu-core bc time
  dpkg-dev desktop-file-utils appstream groff-base locales fluxbox
  weston xwayland qt6-wayland util-linux lintian
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# A Turkish locale, whose case rules differ from ASCII ("i" does not upper-case to "I"): the
# tests check that file names are matched the same way under it.
if ! locale -a 2>/dev/null | grep -qix 'tr_TR.utf8'; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO localedef -i tr_TR -f UTF-8 tr_TR.UTF-8
fi
