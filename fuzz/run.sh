#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs each from its seed
# corpus (fuzz/corpus/<target>); new inputs go to build/fuzz/run-<target>/corpus,
# never into the repository.
#
#   fuzz/run.sh [seconds]        bounded run (CI): each target for <seconds> (default 60)
#   fuzz/run.sh --long [runs]    each target until <runs> executions (default 10000000)
#   fuzz/run.sh ... -- t1 t2     only the named targets (pack tga_stream tga_file picture settings)
#
# Any finding fails the run: crash, sanitizer report, leak, timeout (an input that
# takes over 10 s), out-of-memory (over 2 GB), or a GLib critical in the settings
# store. The reproducer is left in build/fuzz/run-<target>/artifacts; replay it with
#   build/fuzz/bin/fuzz_<target> <file>
# Each target ends with one line: target, result, executions, wall time, execs/s.
set -euo pipefail

mode=bounded
seconds=60
runs=10000000
if [[ ${1:-} == --long ]]; then
  mode=long
  shift
  if [[ ${1:-} =~ ^[0-9]+$ ]]; then runs=$1; shift; fi
elif [[ ${1:-} =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
targets=(pack tga_stream tga_file picture settings)
if [[ ${1:-} == -- ]]; then
  shift
  (($# > 0)) && targets=("$@")
fi

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DAMBREL_FUZZ=ON -DAMBREL_TESTS=OFF \
  -DAMBREL_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}

if [[ $mode == long ]]; then
  limit=(-runs="$runs")
else
  limit=(-max_total_time="$seconds")
fi

status=0
summary=()
for t in "${targets[@]}"; do
  work=$build/run-$t
  mkdir -p "$work/corpus"
  rm -rf "$work/artifacts" && mkdir -p "$work/artifacts"
  echo "== fuzz_$t: ${limit[*]}"
  start=$(date +%s)
  result=ok
  # In the settings store a GLib critical can only be our misuse of GKeyFile: a crash
  # there. gdk-pixbuf's loaders raise criticals of their own on bad pictures.
  glib_debug=
  [[ $t == settings ]] && glib_debug=fatal-criticals
  if ! G_DEBUG=$glib_debug "$build/bin/fuzz_$t" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" "$root/fuzz/corpus/$t" \
      >"$work/log" 2>&1; then
    result=FINDING
  fi
  # libFuzzer exits non-zero on every kind of finding; an artifact left behind counts too.
  if [[ -n $(ls -A "$work/artifacts") ]]; then result=FINDING; fi
  elapsed=$(($(date +%s) - start))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
  # A run cut short by a finding prints no stats; its last status line has the count.
  [[ -z $execs ]] && execs=$(grep -aoE '^#[0-9]+' "$work/log" | tail -1 | tr -d '#')
  execs=${execs:-0}
  rate=$((elapsed > 0 ? execs / elapsed : execs))
  if [[ $result != ok ]]; then
    status=1
    grep -E "^==[0-9]+==ERROR|^SUMMARY|ERROR: libFuzzer|fuzz_$t:" "$work/log" | head -5 || true
    echo "   log: $work/log  artifacts: $(ls "$work/artifacts" | sed "s|^|$work/artifacts/|" | tr '\n' ' ')"
  fi
  line="fuzz_$t: $result, $execs executions in ${elapsed}s ($rate/s)"
  echo "$line"
  summary+=("$line")
done
echo "== summary"
printf '%s\n' "${summary[@]}"
exit $status
