#!/usr/bin/env bash
# The Debian package as a user gets it: packed from the build by cpack, read with
# dpkg-deb, unpacked into a scratch root with dpkg -x, its files checked with the
# tools Debian's desktop uses and with lintian, and its XScreenSaver hack run
# from there off-screen.
# Usage: deb-package-test.sh BUILD_DIR APP_ID
set -euo pipefail
build=$1
app=$2
scratch=$(mktemp -d /tmp/ambrel-deb-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
# cpack first builds whatever is out of date, and a compiler cache keeps its
# files in the home: the run has one of its own.
export HOME=$scratch/home XDG_CACHE_HOME=$scratch/home/.cache
mkdir -p "$HOME"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  echo "FAIL: cpack -G DEB" >&2
  exit 1
fi
debs=("$scratch"/out/ambrel_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { echo "FAIL: no single ambrel_*.deb in ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
echo "package: $(basename "$deb")"

# The control data.
dpkg-deb -I "$deb" || fail "dpkg-deb -I"
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == ambrel ]] || fail "Package is '$(field Package)'"
[[ $(field Section) == misc ]] || fail "Section is '$(field Section)'"
[[ $(field Recommends) == *xscreensaver* ]] || fail "Recommends lacks xscreensaver"
[[ $(field Description) == *screen\ saver* ]] || fail "Description: $(field Description)"
depends=$(field Depends)
for library in libc6 libstdc++6 libgtk-3-0 libglib2.0-0 libgdk-pixbuf-2.0-0 libx11-6 libpng16-16 libegl1 libglx0 \
    libopengl0; do
  [[ ", $depends," == *", $library "* || ", $depends," == *", $library,"* ]] || fail "Depends lacks $library: $depends"
done

root=$scratch/root
dpkg -x "$deb" "$root" || { echo "FAIL: dpkg -x" >&2; exit 1; }

# The files, where Debian and XScreenSaver look for them.
share=$root/usr/share
for file in usr/bin/ambrel usr/share/xscreensaver/config/ambrel.xml \
    usr/share/ambrel/morvish.tallowyn usr/share/ambrel/fallback.png usr/share/ambrel/Ambrel.ui \
    usr/share/man/man6/ambrel.6.gz usr/share/applications/$app.desktop usr/share/metainfo/$app.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/$app.svg usr/share/doc/ambrel/ambrel.html usr/share/doc/ambrel/README.md \
    usr/share/locale/de/LC_MESSAGES/ambrel.mo usr/share/locale/fr/LC_MESSAGES/ambrel.mo; do
  [[ -f $root/$file ]] || fail "missing /$file"
done
[[ -x $root/usr/bin/ambrel ]] || fail "/usr/bin/ambrel is not executable"
hack=$root/usr/libexec/xscreensaver/ambrel
[[ -L $hack && $(readlink "$hack") == ../../bin/ambrel ]] || fail "the hack is no link to ../../bin/ambrel"
[[ $(ls "$root/usr/bin") == ambrel ]] || fail "/usr/bin holds $(ls "$root/usr/bin")"
tools=$(find "$root" -name 'ambrel-pack*' -o -name 'ambrel-pooltiles*')
[[ -z $tools ]] || fail "build tools the user should not get: $tools"

# The manual: no warnings, and every option the program lists is in it.
manual=$share/man/man6/ambrel.6.gz
warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$manual" 2>&1 >/dev/null)
[[ -z $warnings ]] || fail "man warnings: $warnings"
source=$(zcat "$manual")
for option in $("$root/usr/bin/ambrel" --help | grep -oE -- '(^|[[:space:],])--?[a-z][a-z-]*' | tr -d ' ,' | sort -u); do
  [[ $source == *"${option//-/\\-}"* ]] || fail "the manual lacks $option"
done

desktop-file-validate "$share/applications/$app.desktop" || fail "desktop-file-validate"
grep -qx 'Exec=ambrel --configure' "$share/applications/$app.desktop" || fail "the entry does not run ambrel --configure"
grep -qx 'Name=Ambrel Settings' "$share/applications/$app.desktop" || fail "the entry is not named Ambrel Settings"
grep -qx "Icon=$app" "$share/applications/$app.desktop" || fail "the entry's icon is not $app"
appstreamcli validate --no-net "$share/metainfo/$app.metainfo.xml" || fail "appstreamcli validate"

# Every size of the icon, at its size (a PNG's width and height are bytes 16 to 23).
for size in 16 22 24 32 48 64 128 256; do
  png=$share/icons/hicolor/${size}x$size/apps/$app.png
  if [[ -f $png ]]; then
    read -r -a dims <<<"$(od -An -tu1 -j16 -N8 "$png")"
    width=$(((dims[2] << 8) + dims[3])) height=$(((dims[6] << 8) + dims[7]))
    [[ $width == "$size" && $height == "$size" ]] || fail "$png is ${width}x$height"
  else
    fail "missing the ${size}x$size icon"
  fi
done

# Every picture the page and the README show is installed beside them.
doc=$share/doc/ambrel
pictures=$( (grep -oE '<img src="[^"]+"' "$doc/ambrel.html" | sed 's/.*src="//; s/"$//'
             grep -oE '!\[[^]]*\]\([^)]+\)' "$doc/README.md" | sed 's/.*](//; s/)$//') | sort -u)
[[ -n $pictures ]] || fail "the documentation shows no pictures"
for picture in $pictures; do
  [[ -f $doc/$picture ]] || fail "the documentation shows $picture, which is not installed"
done

# What Debian asks of every package: lintian finds no error or warning, and the
# changelog's last entry is this version.
if ! (cd "$scratch" && lintian --allow-root --fail-on error,warning "$deb" >"$scratch/lintian.log" 2>&1); then
  cat "$scratch/lintian.log" >&2
  fail "lintian"
fi
[[ $(zcat "$share/doc/ambrel/changelog.gz" | dpkg-parsechangelog -l - -S Version) == "$(field Version)" ]] ||
  fail "the changelog's last entry is not version $(field Version)"
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$share/doc/ambrel/copyright" ||
  fail "the copyright file is not machine-readable"

# The hack, run from the unpacked tree off-screen: it must find the package's data
# from its own place, through the link.
home=$scratch/home
mkdir -p "$home"
# Nothing of the build's or the user's: no display, no resource folder, no settings.
if env -u DISPLAY -u WAYLAND_DISPLAY -u AMBREL_RESOURCES -u XDG_CONFIG_HOME HOME="$home" \
    "$hack" --render --frames 3 --size 160x90 --seed 1 --output "$scratch/frame.png" >"$scratch/run.log" 2>&1; then
  [[ $(od -An -c -j1 -N3 "$scratch/frame.png" 2>/dev/null | tr -d ' ') == PNG ]] || fail "the hack wrote no PNG"
else
  cat "$scratch/run.log" >&2
  fail "the installed hack cannot render"
fi

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "the package is whole"
