#!/usr/bin/env bash
# Builds Ambrel if needed and runs the screen saver: full-screen windows when there is
# a display, otherwise a few seconds rendered off-screen to a PNG.
# Extra arguments go to the program (see: scripts/run.sh --help).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DAMBREL_TESTS=OFF -DAMBREL_BENCH=OFF >/dev/null
cmake --build build/release -j"$(nproc)" >/dev/null

program=build/release/bin/ambrel
if [[ ! -x $program ]]; then
  echo "Ambrel cannot draw yet: the scene is still being built. Nothing to run." >&2
  exit 1
fi
exec "$program" "$@"
