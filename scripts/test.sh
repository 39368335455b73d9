#!/usr/bin/env bash
# Builds Orvik and runs every test (headless). Installs missing Debian packages first.
set -euo pipefail
ORVIK_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ORVIK_ROOT/scripts/setup.sh"
orvik_install_packages

build=${ORVIK_BUILD_DIR:-$ORVIK_ROOT/build}
orvik_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Fuzz stage (clang, libFuzzer): every target for a fixed number of inputs from its seed
# corpus, the same on every machine, each capped in time.
# It runs before the tests so that the test summary closes the output.
if [ "${ORVIK_SKIP_FUZZ:-0}" != 1 ]; then
  orvik_install_packages clang libclang-rt-14-dev
  FUZZ_RUNS=${FUZZ_RUNS:-fixed} FUZZ_SECONDS=${FUZZ_SECONDS:-30} bash "$ORVIK_ROOT/scripts/fuzz.sh"
fi

export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300
