#!/usr/bin/env bash
# Gathers every translatable text into resources/po/ambrel.pot and merges it into
# each language's catalogue (resources/po/LANG.po), whose new or changed entries
# then want a translator: the settings window, the desktop entry, the AppStream
# summary and the ambrel command's own messages.
set -euo pipefail
cd "$(dirname "$0")/.."
po=resources/po
extract() {
  xgettext --from-code=UTF-8 --no-wrap --package-name=Ambrel --package-version="$version" \
    --copyright-holder="The Ambrel developers" -o "$po/ambrel.pot" "$@"
}
version=$(sed -n 's/^project(Ambrel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
extract --sort-by-file --keyword=Tr --keyword=N_ --flag=Format:1:c-format \
  tools/ambrel/*.cpp platform/linux/GtkSheet.cpp host/Settings.cpp
extract --join-existing resources/ui/Ambrel.ui
extract --join-existing -L Desktop resources/desktop/ambrel-settings.desktop.in
extract --join-existing --its=/usr/share/gettext/its/metainfo.its resources/desktop/ambrel.metainfo.xml.in
for language in $(grep -v '^#' "$po/LINGUAS"); do
  if [[ -f $po/$language.po ]]; then
    msgmerge --quiet --update --no-wrap --backup=none "$po/$language.po" "$po/ambrel.pot"
  else
    msginit --no-translator --no-wrap --locale="$language" -i "$po/ambrel.pot" -o "$po/$language.po"
  fi
done
