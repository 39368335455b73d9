#!/usr/bin/env bash
# Builds Orvik and runs its tests (headless). Installs missing Debian packages first.
#   bash scripts/test.sh         the build (without the benchmarks) and the whole suite
#   bash scripts/test.sh --full  also the fuzz targets (clang, libFuzzer), the suite under
#                                AddressSanitizer + UndefinedBehaviorSanitizer and the
#                                threaded tests under ThreadSanitizer
# Every stage runs even when an earlier one failed; the exit code is non-zero when any
# failed. With --full, ORVIK_SKIP_FUZZ=1 and ORVIK_SKIP_SANITIZE=1 leave stages out.
set -euo pipefail
ORVIK_ROOT=$(cd "$(dirname "$0")/.." && pwd)
full=0
case "${1:-}" in
  --full) full=1 ;;
  "") ;;
  *)
    echo "usage: bash scripts/test.sh [--full]" >&2
    exit 2
    ;;
esac
source "$ORVIK_ROOT/scripts/setup.sh"
orvik_install_packages

build=${ORVIK_BUILD_DIR:-$ORVIK_ROOT/build}
failed=()
stage() {
  local name=$1 t0=$SECONDS
  shift
  echo "== $name"
  if "$@"; then
    echo "== $name: passed in $((SECONDS - t0)) s"
  else
    echo "== $name: FAILED after $((SECONDS - t0)) s"
    failed+=("$name")
  fi
}

t0=$SECONDS
orvik_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIK_BUILD_BENCH=OFF
echo "== build: $((SECONDS - t0)) s"
export QT_QPA_PLATFORM=offscreen

if ((full)); then
  # Each fuzz target tries a fixed number of inputs from its seed corpus, the same on every
  # machine, each capped in time.
  if [ "${ORVIK_SKIP_FUZZ:-0}" != 1 ]; then
    orvik_install_packages clang libclang-rt-14-dev
    stage fuzz env FUZZ_RUNS="${FUZZ_RUNS:-fixed}" FUZZ_SECONDS="${FUZZ_SECONDS:-30}" \
      bash "$ORVIK_ROOT/scripts/fuzz.sh"
  fi
  if [ "${ORVIK_SKIP_SANITIZE:-0}" != 1 ]; then
    stage "AddressSanitizer + UndefinedBehaviorSanitizer" bash "$ORVIK_ROOT/scripts/sanitize.sh" asan
    stage ThreadSanitizer bash "$ORVIK_ROOT/scripts/sanitize.sh" tsan
  fi
fi
# Last, so that its summary closes the output.
stage tests ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300
# The figures the soak and fault tests print, which ctest keeps to itself when they pass.
grep -h -E '^(soak|figures):' "$build/Testing/Temporary/LastTest.log" 2>/dev/null || true

if ((${#failed[@]})); then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All stages passed."
