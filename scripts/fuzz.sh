#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) into
# build-fuzz and runs each for a bounded time from its seed corpus in fuzz/corpus/<target>,
# after replaying the reproducers in fuzz/regress/<target>. Exits non-zero when a target
# crashes, breaks an invariant, leaks, times out or exceeds its memory limit; the input is
# left in build-fuzz/artifacts/<target>/.
#   FUZZ_SECONDS  time per target (default 30)   FUZZ_JOBS  targets run at once (default nproc)
#   FUZZ_SEED     the fuzzers' random seed (default 1, so a run can be repeated)
#   FUZZ_RUNS     "fixed": instead of running for a time, each target runs its fixed number of
#                 inputs below from a fresh working corpus, so that with the same seed every
#                 machine tries the same inputs and a finding can be repeated exactly; the time
#                 per target still caps the run on a slow machine.
set -euo pipefail
ORVIK_ROOT=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVIK_FUZZ_BUILD_DIR:-$ORVIK_ROOT/build-fuzz}
seconds=${FUZZ_SECONDS:-30}
jobs=${FUZZ_JOBS:-$(nproc)}
t0=$SECONDS

cmake -S "$ORVIK_ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DORVIK_FUZZ=ON \
  -DORVIK_BUILD_TESTS=OFF -DORVIK_BUILD_BENCH=OFF -DORVIK_SANITIZE=address,undefined >/dev/null
cmake --build "$build" -j"$(nproc)" --target orvik_fuzzers
echo "== fuzz build: $((SECONDS - t0)) s"

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# Longest input per target: enough for several records or escape sequences, small enough
# that every run stays fast.
declare -A max_len=(
  [fuzz_record_parser]=8192 [fuzz_get_str]=1024 [fuzz_ini_file]=4096 [fuzz_vt100]=4096
  [fuzz_vt52]=4096 [fuzz_validate_edit]=512 [fuzz_calc_engine]=1024 [fuzz_comtrade]=4096 [fuzz_telnet]=4096 [fuzz_session_recording]=8192
)

# Inputs per target in fixed mode: about ten seconds' worth on a two-core build machine.
declare -A fixed_runs=(
  [fuzz_record_parser]=60000 [fuzz_get_str]=1500000 [fuzz_ini_file]=30000 [fuzz_vt100]=25000
  [fuzz_vt52]=60000 [fuzz_validate_edit]=300000 [fuzz_calc_engine]=150000 [fuzz_comtrade]=60000 [fuzz_telnet]=80000 [fuzz_session_recording]=60000
)

run_target() {
  local t=$1 bin=$build/bin/$1 work=$build/corpus/$1 art=$build/artifacts/$1/ log=$build/logs/$1.log
  mkdir -p "$work" "$art" "$(dirname "$log")"
  local regress=$ORVIK_ROOT/fuzz/regress/$t
  if [ -d "$regress" ] && [ -n "$(ls -A "$regress")" ]; then
    if ! "$bin" -rss_limit_mb=1024 -timeout=20 "$regress"/* >"$log.regress" 2>&1; then
      echo "FAIL $t: a reproducer in fuzz/regress/$t fails again (see $log.regress)"
      tail -n 40 "$log.regress"
      return 1
    fi
  fi
  local budget=()
  if [ "${FUZZ_RUNS:-}" = fixed ]; then
    rm -rf "$work" && mkdir -p "$work"
    budget=(-runs="${fixed_runs[$t]:-30000}")
  fi
  if "$bin" -seed="${FUZZ_SEED:-1}" -max_total_time="$seconds" "${budget[@]}" -max_len="${max_len[$t]:-4096}" -rss_limit_mb=1024 -timeout=10 \
    -malloc_limit_mb=512 -print_final_stats=1 -artifact_prefix="$art" "$work" "$ORVIK_ROOT/fuzz/corpus/$t" \
    >"$log" 2>&1; then
    echo "ok   $t: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs," \
      "$(grep -c '' <(ls "$work")) inputs in corpus"
  else
    echo "FAIL $t (input in $art, log $log)"
    grep -E -m1 -A30 'ERROR|runtime error|invariant failed|unlisted write' "$log" || tail -n 40 "$log"
    return 1
  fi
}

targets=()
for dir in "$ORVIK_ROOT"/fuzz/corpus/*/; do
  t=$(basename "$dir")
  if [ -x "$build/bin/$t" ]; then targets+=("$t"); else echo "skip $t: not built"; fi
done

failed=0
pids=()
for t in "${targets[@]}"; do
  run_target "$t" &
  pids+=($!)
  if ((${#pids[@]} >= jobs)); then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || failed=1; done
echo "== fuzz stage: $((SECONDS - t0)) s"
exit $failed
