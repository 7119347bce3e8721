#!/usr/bin/env bash
# CPU time per frame and peak RSS of Ambrel's window mode (OpenGL: Mesa llvmpipe
# through GLX; and its CPU renderer, where the window mode takes --renderer), of
# the CPU renderer putting its frames on a window through MIT-SHM
# (bench_cpu_present), both at the default 64² grid and at 256², and of
# XScreenSaver's `ripples` hack, side by side on one private Xvfb display at
# 1280x720 and 1920x1080; then where Ambrel's CPU time goes (our code against the
# GL driver). A benchmark, not a test: it installs what it lacks and prints a table.
#
#   bench/peers.sh [build-dir]     (default build/perf/release; build the ambrel and
#                                   bench_cpu_present targets, Release)
#   SECONDS_EACH=15 ROUNDS=3 SIZES="1280x720 1920x1080" bench/peers.sh
#
# Ambrel counts its frames itself (AMBREL_FPS_LOG). ripples has no such log (its
# -fps only paints the rate into its window), so a small preloaded library counts
# the frames it and bench_cpu_present put on screen (XShmPutImage/XPutImage calls
# of at least 64x64).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/perf/release}
[[ $build = /* ]] || build=$root/$build
seconds=${SECONDS_EACH:-15}
rounds=${ROUNDS:-3}
sizes=${SIZES:-"1280x720 1920x1080"}
program=$build/bin/ambrel
presenter=$build/bin/bench_cpu_present
ripples=/usr/libexec/xscreensaver/ripples
[[ -x $program ]] || { echo "peers: no $program; build the ambrel target first" >&2; exit 2; }

need=()
command -v Xvfb >/dev/null || need+=(xvfb)
[[ -x $ripples ]] || need+=(xscreensaver-data xscreensaver-data-extra)
command -v perf >/dev/null || need+=(linux-perf)
[[ -x /usr/bin/time ]] || need+=(time)
[[ -f /usr/include/X11/extensions/XShm.h ]] || need+=(libxext-dev)
if ((${#need[@]})); then
  apt-get install -y --no-install-recommends "${need[@]}" >/dev/null
fi

work=$(mktemp -d /tmp/ambrel-peers-XXXXXX)
cat >"$work/countput.c" <<'EOF'
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static long frames;
static double first, last, written;

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

static void count(unsigned w, unsigned h) {
  if (w * h < 64 * 64) return;
  double t = now();
  if (frames++ == 0) first = t;
  last = t;
  if (t - written < 0.2) return;
  written = t;
  const char* path = getenv("PUT_LOG");
  FILE* f = path ? fopen(path, "w") : NULL;
  if (!f) return;
  fprintf(f, "frames %ld\nseconds %.6f\nfps %.3f\n", frames, last - first,
          frames > 1 ? (frames - 1) / (last - first) : 0.0);
  fclose(f);
}

Bool XShmPutImage(Display* d, Drawable dr, GC gc, XImage* im, int sx, int sy, int dx, int dy, unsigned w,
                  unsigned h, Bool e) {
  static Bool (*real)(Display*, Drawable, GC, XImage*, int, int, int, int, unsigned, unsigned, Bool);
  if (!real) real = dlsym(RTLD_NEXT, "XShmPutImage");
  count(w, h);
  return real(d, dr, gc, im, sx, sy, dx, dy, w, h, e);
}

int XPutImage(Display* d, Drawable dr, GC gc, XImage* im, int sx, int sy, int dx, int dy, unsigned w,
              unsigned h) {
  static int (*real)(Display*, Drawable, GC, XImage*, int, int, int, int, unsigned, unsigned);
  if (!real) real = dlsym(RTLD_NEXT, "XPutImage");
  count(w, h);
  return real(d, dr, gc, im, sx, sy, dx, dy, w, h);
}
EOF
gcc -O2 -shared -fPIC -o "$work/countput.so" "$work/countput.c" -ldl

# The same picture under both: Ambrel takes it as the desktop picture; ripples is
# pointed at it through a private ~/.xscreensaver (its loader may still show
# "Loading..." on a bare Xvfb; the ripple work per frame is the same either way).
picture=${PICTURE:-$work/pictures/picture.jpg}
mkdir -p "$work/pictures"
[[ -f $picture ]] || convert -size 1600x900 plasma:fractal -quality 90 "$picture" 2>/dev/null ||
  cp "$build/share/ambrel/fallback.png" "$picture"
printf 'grabDesktopImages: False\nchooseRandomImages: True\nimageDirectory: %s\n' "$(dirname "$picture")" \
  >"$work/.xscreensaver"

# Larger than the largest window: ripples reads its own window back, and a
# bordered 1920x1080 window on a 1920x1080 screen makes that fail (BadMatch).
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 2560x1440x24 +extension GLX -noreset -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done 2>/dev/null || sleep 2
export DISPLAY=$display

field() { awk -v k="$1" '$1 == k { print $2 }' "$2" 2>/dev/null || true; }

# CPU seconds the X server has used so far (it copies every software-rendered frame).
server_cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$xvfb/stat"; }

# Runs a command for $seconds seconds, stopped with SIGTERM; prints the process's
# CPU seconds, its peak RSS in kB, and the X server's CPU over the wall time.
run_for() {
  local start end server
  server=$(server_cpu)
  start=$(date +%s.%N)
  /usr/bin/time -f "%U %S %M" -o "$work/time" timeout -s TERM "$seconds" "$@" >"$work/out" 2>&1 || true
  end=$(date +%s.%N)
  tail -1 "$work/time" | awk -v x="$(server_cpu)" -v x0="$server" -v s="$start" -v e="$end" \
    '{ printf "%.3f %d %.2f\n", $1 + $2, $3, (x - x0) / (e - s) }'
}

# One row: CPU milliseconds per frame shown (process CPU time over frames, not wall
# time: the machine is shared) and peak RSS. Remembers the CPU per frame as cost[$1].
declare -A cost
row() {
  local key=$1 size=$2 name=$3 frames=$4 fps=$5 cpu=$6 rss=$7 server=$8
  cost[$key]=$(awk -v c="$cpu" -v f="${frames:-0}" 'BEGIN { if (f > 0) printf "%.2f", c * 1000 / f; else print "?" }')
  printf '%-10s %-34s %7s %7s %10s %8s %9s\n' "$size" "$name" "${fps:-?}" "${frames:-?}" "${cost[$key]}" \
    "$((rss / 1024))" "$server"
}

# Where the window mode takes --renderer, the OpenGL rows name it outright (auto
# takes the CPU renderer under llvmpipe) and the program's own CPU renderer gets
# rows beside the present benchmark's.
gl_flags=()
own_cpu=
timeout -s TERM 2 "$program" --window 64x64 --renderer gl >/dev/null 2>"$work/probe" || true
if ! grep -q -- --renderer "$work/probe"; then
  gl_flags=(--renderer gl)
  own_cpu=1
fi

echo "display $display; load average before: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) CPUs"
printf '%-10s %-34s %7s %7s %10s %8s %9s\n' size program fps frames "CPU ms/f" "RSS MB" Xvfb/wall
# ripples at its default delay, the reference: run before, between and after
# rounds of the CPU renderer's rows of each size. Each round is compared with the
# mean of the ripples runs on either side of it, so that the machine's load
# drifting over the run weighs on both sides alike, and the rounds' median is
# taken.
ripples_row() {
  local key=$1 size=$2 delay=$3
  rm -f "$work/ripples.log"
  read -r cpu rss server < <(HOME=$work PUT_LOG="$work/ripples.log" LD_PRELOAD="$work/countput.so" \
    run_for "$ripples" -fps -geometry "$size" -delay "$delay")
  row "$key" "$size" "ripples -fps -delay $delay" "$(field frames "$work/ripples.log")" \
    "$(field fps "$work/ripples.log")" "$cpu" "$rss" "$server"
}

# The CPU renderer of the window mode, or else the present benchmark's.
cpu_row() {
  local key=$1 size=$2 shift=$3 grid=$((1 << $3)) log
  if [[ $own_cpu ]]; then
    rm -f "$work/ambrel.log" "$work/cpu.log"
    read -r cpu rss server < <(AMBREL_FPS_LOG="$work/ambrel.log" PUT_LOG="$work/cpu.log" \
      LD_PRELOAD="$work/countput.so" run_for "$program" --window "$size" --water-res "$shift" \
      --background "$picture" --renderer cpu)
    log=$work/ambrel.log
    [[ -n $(field frames "$log") ]] || log=$work/cpu.log
    row "$key" "$size" "ambrel --window, CPU renderer, ${grid}²" "$(field frames "$log")" \
      "$(field fps "$log")" "$cpu" "$rss" "$server"
  elif [[ -x $presenter ]]; then
    presenter_row "$key" "$size" "$shift"
  fi
}
presenter_row() {
  local key=$1 size=$2 shift=$3 grid=$((1 << $3))
  rm -f "$work/cpu.log"
  read -r cpu rss server < <(PUT_LOG="$work/cpu.log" LD_PRELOAD="$work/countput.so" \
    run_for "$presenter" "$size" "$shift" "$picture")
  row "$key" "$size" "CPU renderer + MIT-SHM, ${grid}²" "$(field frames "$work/cpu.log")" \
    "$(field fps "$work/cpu.log")" "$cpu" "$rss" "$server"
}

# The median of the rounds' ratios of cost[$1-ROUND] to the mean of
# cost[ripples-$2-ROUND] and cost[ripples-$2-(ROUND+1)], then the lowest and highest.
ratios() {
  local r values=()
  for r in $(seq "$rounds"); do
    values+=("$(awk -v c="${cost[$1-$r]:-0}" -v a="${cost[ripples-$2-$r]:-0}" -v b="${cost[ripples-$2-$((r + 1))]:-0}" \
      'BEGIN { if (c + 0 > 0 && a + 0 > 0 && b + 0 > 0) printf "%.3f", 2 * c / (a + b) }')")
  done
  printf '%s\n' "${values[@]}" | awk 'NF { v[n++] = $1 } END {
    if (!n) { print "not run"; exit }
    for (i = 0; i < n; ++i) for (j = i + 1; j < n; ++j) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
    m = n % 2 ? v[int(n / 2)] : (v[n / 2 - 1] + v[n / 2]) / 2
    printf "%.2fx (%.2fx-%.2fx over %d rounds)", m, v[0], v[n - 1], n }'
}

for size in $sizes; do
  for r in $(seq "$rounds"); do
    ripples_row "ripples-$size-$r" "$size" 50000
    for shift in 6 8; do cpu_row "cpu-$shift-$size-$r" "$size" "$shift"; done
  done
  ripples_row "ripples-$size-$((rounds + 1))" "$size" 50000
  if [[ $own_cpu && -x $presenter ]]; then
    for shift in 6 8; do presenter_row "present-$shift-$size" "$size" "$shift"; done
  fi
  for shift in 6 8; do
    grid=$((1 << shift))
    rm -f "$work/ambrel.log"
    read -r cpu rss server < <(AMBREL_FPS_LOG="$work/ambrel.log" run_for "$program" --window "$size" \
      --water-res "$shift" --background "$picture" "${gl_flags[@]}")
    row "gl-$shift-$size" "$size" "ambrel --window, OpenGL, ${grid}²" "$(field frames "$work/ambrel.log")" \
      "$(field fps "$work/ambrel.log")" "$cpu" "$rss" "$server"
  done
  ripples_row "ripples-0-$size" "$size" 0
done
echo
echo "CPU per frame against ripples' at its default delay, round by round against the mean of its runs"
echo "just before and after (aims: CPU renderer at most 1.5x at 64², 2x at 256²):"
for size in $sizes; do
  mean=$(for r in $(seq $((rounds + 1))); do echo "${cost[ripples-$size-$r]:-0}"; done |
    awk '$1 + 0 > 0 { s += $1; n++ } END { if (n) printf "%.3f", s / n; else print 0 }')
  for shift in 6 8; do
    awk -v s="$size" -v n=$((1 << shift)) -v g="${cost[gl-$shift-$size]:-0}" -v r="$mean" \
      -v c="$(ratios "cpu-$shift-$size" "$size")" 'BEGIN {
        printf "%s, %d²: CPU renderer %s", s, n, c
        if (r + 0 > 0) printf "; OpenGL %.2fx of ripples'"'"' mean", g / r
        printf "\n"
      }'
  done
done

# Where a frame's CPU time goes: samples by object over a window run at the first size.
if command -v perf >/dev/null; then
  first_size=${sizes%% *}
  echo
  echo "CPU samples by object, ambrel --window $first_size for $seconds s (perf, cpu-clock):"
  timeout -s TERM "$((seconds + 2))" perf record -q -e cpu-clock -F 999 -o "$work/perf.data" -- \
    timeout -s TERM "$seconds" "$program" --window "$first_size" --background "$picture" "${gl_flags[@]}" >/dev/null 2>&1 ||
    true
  perf report -q -i "$work/perf.data" --sort dso --stdio 2>/dev/null | awk 'NF >= 2 && $1 ~ /%$/' | head -15 |
    tee "$work/dso.txt"
  awk -v bin="$(basename "$program")" '
    { share = $1; sub(/%/, "", share); name = $2 }
    name == bin { ours += share; next }
    name ~ /gallium|swrast|dri|LLVM|libGL|libglapi|libEGL|JIT|perf-|unknown/ { driver += share; next }
    name ~ /kernel/ { kernel += share; next }
    { other += share }
    END { printf "ambrel (our code) %.1f%%  GL driver (Mesa, LLVM, JIT) %.1f%%  kernel %.1f%%  other libraries %.1f%%\n",
                 ours, driver, kernel, other }' "$work/dso.txt"
fi
echo "(work files in $work)"
