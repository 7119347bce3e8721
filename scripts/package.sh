#!/usr/bin/env bash
# Builds the Debian package into build/package and prints its path.
# Install it with: sudo apt install ./build/package/ambrel_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build/package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DAMBREL_TESTS=OFF -DAMBREL_BENCH=OFF
cmake --build build/package -j"$(nproc)"
(cd build/package && cpack -G DEB >/dev/null)
ls "$PWD"/build/package/ambrel_*.deb
