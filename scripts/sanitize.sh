#!/usr/bin/env bash
# Builds and runs the tests under the sanitizers: the whole suite under AddressSanitizer with
# UndefinedBehaviorSanitizer (build-asan), then the serial and end-to-end tests, the ones that
# run a port's event thread, under ThreadSanitizer (build-tsan). Benchmarks are not built.
# Any sanitizer report fails its test, since every report aborts (-fno-sanitize-recover).
set -euo pipefail
ORVIK_ROOT=$(cd "$(dirname "$0")/.." && pwd)
jobs=${ORVIK_JOBS:-$(nproc)}
stage=${1:-all} # all, asan or tsan

export QT_QPA_PLATFORM=offscreen
# halt_on_error keeps a report from scrolling past; detect_leaks stays on (the default).
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:halt_on_error=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Qt itself is not instrumented: scripts/tsan.supp says what that leaves out and why.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:history_size=4:suppressions=$ORVIK_ROOT/scripts/tsan.supp}

# -O1 and line tables only: half the compile time of -O2 -g under a sanitizer, and the
# reports still name every file and line.
configure() {
  cmake -S "$ORVIK_ROOT" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    -DORVIK_BUILD_BENCH=OFF -DORVIK_SANITIZE="$2" >/dev/null
}

timed() {
  local name=$1 t0=$SECONDS
  shift
  "$@"
  echo "== $name: $((SECONDS - t0)) s"
}

asan_stage() {
  local dir=$ORVIK_ROOT/build-asan
  configure "$dir" address,undefined
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 600
}

# Tests whose code runs a port's event thread beside the user-interface thread (the session
# and the command-line program run one too; network ports run a socket's).
tsan_tests='^(serial_|session_|net_|cli_|devsim_|terminal_devsim_|console_devsim_|e2e)'

tsan_stage() {
  local dir=$ORVIK_ROOT/build-tsan
  configure "$dir" thread
  # Test names are their program names, so only the programs these tests run are built.
  local targets
  mapfile -t targets < <(ctest --test-dir "$dir" -N -R "$tsan_tests" | awk '/Test +#/ {print $3}')
  if ((${#targets[@]} == 0)); then
    echo "no tests match $tsan_tests" >&2
    return 1
  fi
  cmake --build "$dir" -j"$jobs" --target "${targets[@]}"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 600 -R "$tsan_tests"
}

case $stage in
  all) timed asan asan_stage; timed tsan tsan_stage ;;
  asan) timed asan asan_stage ;;
  tsan) timed tsan tsan_stage ;;
  *) echo "usage: $0 [all|asan|tsan]" >&2; exit 2 ;;
esac
