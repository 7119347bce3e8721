#!/usr/bin/env bash
# Builds Ambrel with clang under AddressSanitizer, UndefinedBehaviorSanitizer and
# LeakSanitizer in build/asan and runs every test there.
# Usage: scripts/sanitize.sh [extra ctest arguments, e.g. -R Store]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/asan

scripts/deps.sh

# A tree configured with another compiler cannot be switched in place.
if [[ -f $build/CMakeCache.txt ]] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++' "$build/CMakeCache.txt"; then
  rm -rf "$build"
fi

start=$SECONDS
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DAMBREL_SANITIZE=ON -DAMBREL_BENCH=OFF -DAMBREL_FUZZ=OFF -DAMBREL_TESTS=ON
cmake --build "$build" -j"$(nproc)"
built=$SECONDS

# Mesa unloads its DRI driver when the X display closes, before LeakSanitizer looks:
# the driver's globals then stop counting as roots, and its own allocations show up
# as leaks in "<unknown module>" that no suppression can name. With dlclose of DRI
# drivers made a no-op they stay Mesa's, where they belong.
cat >"$build/keep-dri-loaded.c" <<'CODE'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <link.h>
#include <string.h>
int dlclose(void* handle) {
  static int (*next)(void*);
  if (!next) next = (int (*)(void*))dlsym(RTLD_NEXT, "dlclose");
  struct link_map* map = NULL;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && strstr(map->l_name, "_dri.so")) return 0;
  return next(handle);
}
CODE
clang -O2 -shared -fPIC -o "$build/keep-dri-loaded.so" "$build/keep-dri-loaded.c" -ldl
export LD_PRELOAD=$build/keep-dri-loaded.so${LD_PRELOAD:+:$LD_PRELOAD}

# Leaks are reported when each test process exits. The suppressions name only Mesa,
# whose memory our code never owns (scripts/lsan.supp says why GLib is not there).
# GSlice's own pools would hide leaked GObjects, so GLib allocates with malloc here.
# Leaks of memory allocated inside GLib show stacks that stop there (fast unwinding);
# rerun the failing test with ASAN_OPTIONS=fast_unwind_on_malloc=0 to see our frames.
export G_SLICE=always-malloc G_DEBUG=gc-friendly
# GTK's accessibility bridge talks to a session bus that tests do not have, and
# keeps what it set up for the life of the process.
export NO_AT_BRIDGE=1
# Up to LLVM 16 and GCC 13 the runtime's __tls_get_addr interceptor takes a dynamic
# TLS block that happens to start 16 bytes into a page for a pre-2.25 glibc header,
# and LeakSanitizer's tracer then reads garbage and faults ("Tracer caught signal
# 11"); Mesa's llvmpipe threads make such blocks. Without the interceptor those
# blocks are plain heap blocks, still reached from glibc's thread records.
export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:intercept_tls_get_addr=0
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@" || status=$?

echo "sanitize: build $((built - start)) s, tests $((SECONDS - built)) s"
exit "$status"
