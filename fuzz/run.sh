#!/usr/bin/env bash
# Runs every fuzz harness for a while: fuzz/run.sh <build dir> <seconds per harness> [harness...]
# New inputs collect in <build dir>/fuzz-corpus/<harness>, crashes in <build dir>/fuzz-crashes/; the seed
# corpora in fuzz/corpus are only read.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?build dir}
seconds=${2:?seconds per harness}
shift 2
harnesses=("$@")
[ ${#harnesses[@]} -eq 0 ] && harnesses=(receive tablefile settings numbers journal platefile)

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/fuzz/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$build/fuzz-crashes"
status=0
for h in "${harnesses[@]}"; do
  mkdir -p "$build/fuzz-corpus/$h"
  echo "== $h: $seconds s"
  if ! "$build/fuzz/fuzz_$h" -max_total_time="$seconds" -print_final_stats=1 \
      -rss_limit_mb=4096 -timeout=10 -artifact_prefix="$build/fuzz-crashes/$h-" "$build/fuzz-corpus/$h" "fuzz/corpus/$h" \
      2>"$build/fuzz-crashes/$h.log"; then
    echo "$h found a fault; its input and log are in $build/fuzz-crashes/" >&2
    status=1
  fi
  grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb|^Done" "$build/fuzz-crashes/$h.log" || true
done
exit $status
