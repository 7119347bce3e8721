#!/usr/bin/env bash
# Builds Ambrel from scratch and runs every test. Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
rm -rf build/test
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test -j"$(nproc)"
ctest --test-dir build/test --output-on-failure -j"$(nproc)"
