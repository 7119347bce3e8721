#!/usr/bin/env bash
# Makes the documentation's pictures from the product itself, so that they show
# what it is today:
#   docs/ambrel-frame.png     a frame rendered off-screen (--render, a fixed seed)
#   docs/ambrel-settings.png  the settings window on a private Xvfb, its live
#                             preview drawing water over a picture from the folder
#                             chosen in it, /home/ada/Pictures
# Usage: scripts/docs-pictures.sh [BUILD_DIR]
# Without BUILD_DIR it builds build/release first, as scripts/run.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if (($#)); then
  build=$(cd "$1" && pwd)
else
  scripts/deps.sh
  cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DAMBREL_TESTS=OFF -DAMBREL_BENCH=OFF >/dev/null
  cmake --build build/release -j"$(nproc)" >/dev/null
  build=$root/build/release
fi
program=$build/bin/ambrel
resources=$build/share/ambrel
[[ -x $program && -f $resources/fallback.png ]] || { echo "no ambrel or its data in $build" >&2; exit 1; }

# The frame: what `ambrel --render` draws over the shipped picture.
"$program" --render --seed 3 --size 960x540 --seconds 8 --output "$root/docs/ambrel-frame.png" >/dev/null

# The settings window. Inside a private mount namespace a scratch /home holds a
# user with a picture folder, so the window shows a path as a user would see it;
# where the system refuses such a namespace, a scratch folder stands in.
photograph() {
  local home=$1 out=$2 scratch
  scratch=$(mktemp -d /tmp/ambrel-docs-XXXXXX)
  local xvfb=""
  trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$scratch"' RETURN
  mkdir -p "$home/Pictures" "$home/.config/ambrel"
  cp "$resources/fallback.png" "$home/Pictures/pool.png"
  # The store: the defaults, with the picture folder chosen.
  {
    echo "[kvAmbrel]"
    echo "version=$("$program" --version | cut -d' ' -f2)"
    env -u DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/.config" \
      "$program" --window --folder "$home/Pictures" --print-settings | sed 's/ /=/'
  } >"$scratch/store"
  mv "$scratch/store" "$home/.config/ambrel/kvAmbrel.conf"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
  xvfb=$!
  while [[ ! -s $scratch/display ]]; do
    kill -0 "$xvfb" 2>/dev/null || { cat "$scratch/xvfb.log" >&2; return 1; }
    sleep 0.1
  done
  export DISPLAY=:$(cat "$scratch/display")
  env HOME="$home" XDG_CONFIG_HOME="$home/.config" AMBREL_RESOURCES="$resources" GSETTINGS_BACKEND=memory \
    NO_AT_BRIDGE=1 "$program" --configure >"$scratch/configure.log" 2>&1 &
  local window
  window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Ambrel Settings$' | head -n1)
  # Long enough for the preview's rings to spread over the picture.
  sleep 6
  eval "$(xdotool getwindowgeometry --shell "$window")"
  /usr/bin/python3 - "$out" "$X" "$Y" "$WIDTH" "$HEIGHT" <<'EOF'
import sys
import gi
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk
out, x, y, width, height = sys.argv[1], *map(int, sys.argv[2:])
picture = Gdk.pixbuf_get_from_window(Gdk.get_default_root_window(), x, y, width, height)
if picture is None:
    sys.exit("cannot read the screen")
picture.savev(out, "png", [], [])
EOF
}

if unshare --user --map-root-user --mount true 2>/dev/null; then
  export -f photograph
  export program resources
  unshare --user --map-root-user --mount bash -euo pipefail -c \
    'mount -t tmpfs tmpfs /home && photograph /home/ada "$1"' photograph "$root/docs/ambrel-settings.png"
else
  folder=$(mktemp -d /tmp/ambrel-docs-home-XXXXXX)
  trap 'rm -rf "$folder"' EXIT
  photograph "$folder/ada" "$root/docs/ambrel-settings.png"
fi
# The page about Ambrel gives each picture's size (a PNG's width and height are
# bytes 16 to 23).
for picture in docs/ambrel-frame.png docs/ambrel-settings.png; do
  read -r -a dims <<<"$(od -An -tu1 -j16 -N8 "$root/$picture")"
  width=$(((dims[2] << 8) + dims[3])) height=$(((dims[6] << 8) + dims[7]))
  sed -i -E "s|(<img src=\"$picture\" width=\")[0-9]+(\" height=\")[0-9]+|\1$width\2$height|" \
    "$root/resources/doc/ambrel.html"
  echo "$root/$picture ${width}x$height"
done
