#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs each for the given
# number of seconds (default 60) from its seed corpus. Fails on any finding.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DAMBREL_FUZZ=ON -DAMBREL_TESTS=OFF \
  -DAMBREL_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(pack tga_stream tga_file picture)
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

status=0
for t in "${targets[@]}"; do
  work=$build/run-$t
  mkdir -p "$work/corpus" "$work/artifacts"
  echo "== fuzz_$t for ${seconds}s"
  if ! "$build/bin/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/" "$work/corpus" "$root/fuzz/corpus/$t" \
      >"$work/log" 2>&1; then
    echo "fuzz_$t: FINDING (see $work/log and $work/artifacts)"
    tail -40 "$work/log"
    status=1
  fi
  grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb|^Done" "$work/log" || true
done
exit $status
