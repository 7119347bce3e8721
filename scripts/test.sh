#!/usr/bin/env bash
# Builds Ambrel from scratch and runs every test. Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
rm -rf build/test
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test -j"$(nproc)"
# GTK's folder chooser now and then takes over 30 s to fill in a full run (never
# alone): a test that fails gets one more run, one that fails twice fails.
ctest --test-dir build/test --output-on-failure -j"$(nproc)" --repeat until-pass:2
