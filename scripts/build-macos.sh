#!/usr/bin/env bash
# Builds the screen saver Ambrel.saver on a Mac: one universal bundle (arm64 and
# x86_64) for macOS 11 or later, signed ad hoc. Needs Xcode's command-line tools,
# CMake and libpng (for the build-time picture tool), e.g. `brew install cmake libpng`.
#   scripts/build-macos.sh [--install]    --install copies it to ~/Library/Screen Savers
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ "$(uname -s)" != Darwin ]]; then
  echo "build-macos.sh builds the macOS bundle and runs on macOS only." >&2
  echo "On Linux the same sources build against GNUstep in the ordinary build (scripts/deps.sh, then CMake)." >&2
  exit 1
fi

build=${AMBREL_MACOS_BUILD:-build/macos}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_OSX_ARCHITECTURES="arm64;x86_64" -DCMAKE_OSX_DEPLOYMENT_TARGET=11.0
cmake --build "$build" --target AmbrelSaver -j "$(sysctl -n hw.ncpu)"

bundle="$build/Ambrel.saver"
echo "Architectures: $(lipo -archs "$bundle/Contents/MacOS/Ambrel")"
plutil -lint "$bundle/Contents/Info.plist"
# The bundle's resources were added after the linker signed the code: sign it whole.
codesign --force --deep --sign "${AMBREL_CODESIGN_IDENTITY:--}" "$bundle"
codesign --verify --verbose "$bundle"

if [[ "${1:-}" == --install ]]; then
  mkdir -p "$HOME/Library/Screen Savers"
  rm -rf "$HOME/Library/Screen Savers/Ambrel.saver"
  cp -R "$bundle" "$HOME/Library/Screen Savers/"
  echo "Installed in ~/Library/Screen Savers; choose Ambrel in System Settings > Screen Saver."
else
  echo "Built $bundle; double-click it, or run $0 --install."
fi
