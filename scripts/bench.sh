#!/usr/bin/env bash
# Builds Orvik in release mode and runs every benchmark, printing their figures.
# Benchmarks are never part of the test suite: timings belong here, not in tests.
set -euo pipefail
ORVIK_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ORVIK_ROOT/scripts/setup.sh"
orvik_install_packages

build=${ORVIK_BENCH_DIR:-$ORVIK_ROOT/build-bench}
# -O2: GCC 12's -O3 inlines std::string deep enough to raise false -Wrestrict and
# -Wmaybe-uninitialized warnings (GCC bugs 105329, 105651), which stop a build whose warnings
# are errors.
orvik_build "$build" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DORVIK_BUILD_TESTS=OFF
export QT_QPA_PLATFORM=offscreen
status=0
for b in "$build"/bench-bin/*; do
  [ -x "$b" ] || continue
  case "$(basename "$b")" in "${1:-}"*) ;; *) continue ;; esac
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true || status=1
done
exit $status
