#!/usr/bin/env bash
# Installs the Debian packages Ambrel needs to build, test and run; only the missing ones.
set -euo pipefail

packages=(
  cmake make g++ pkg-config clang libclang-rt-14-dev
  libgtest-dev libbenchmark-dev
  libegl-dev libgl-dev libglu1-mesa-dev libegl-mesa0 libgl1-mesa-dri libepoxy-dev
  libpng-dev libjpeg-dev libgdk-pixbuf-2.0-dev libglib2.0-dev libgtk-3-dev webp-pixbuf-loader
  libx11-dev libxext-dev libxinerama-dev libxrandr-dev libxtst-dev xvfb xauth xdotool libxml2-utils
  libwayland-dev libwayland-bin wayland-protocols sway grim wtype weston
  fonts-dejavu-core gsettings-desktop-schemas
  librsvg2-bin dpkg-dev desktop-file-utils appstream man-db groff-base lintian python3-gi gir1.2-gtk-3.0 gettext
  dbus-daemon at-spi2-core python3-pyatspi
  xscreensaver twm
  gobjc++ gnustep-make libgnustep-base-dev libgnustep-gui-dev gnustep-back0.29-cairo
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  [[ "$status" == ii* ]] || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}" >&2
  SUDO=""
  [[ $(id -u) -eq 0 ]] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
