#!/usr/bin/env bash
# Builds the preset 'fuzz' (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every fuzz target for SECONDS seconds
# (default 60) on its own working corpus in the build folder: the seeds
# (fuzz/corpus/<target>/, for the package reader the packages that
# fuzz_seeds writes, for the resource editor the linked test fixture) are
# copied there, and what a run learns stays there for the next run. Fails when a target crashes, leaks, runs out of memory or
# time; the input that did it is kept in <build>/fuzz-work/<target>/artifacts.
#
#   bash scripts/run-fuzzers.sh [SECONDS]
#
# FUZZ_BUILD_DIR chooses another build folder (default build/fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

seconds=${1:-60}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: bash scripts/run-fuzzers.sh [SECONDS]  (a whole number above 0)" >&2
  exit 2
fi
build=${FUZZ_BUILD_DIR:-build/fuzz}
case $build in /*) ;; *) build=$source_dir/$build ;; esac
targets=(package_reader_fuzzer description_fuzzer pe_resources_fuzzer)

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target "${targets[@]}" fuzz_seeds

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
for target in "${targets[@]}"; do
  work=$build/fuzz-work/$target
  corpus=$work/corpus
  artifacts=$work/artifacts
  mkdir -p "$corpus" "$artifacts"
  if [ -d "fuzz/corpus/$target" ]; then cp -f "fuzz/corpus/$target"/* "$corpus"/; fi
  if [ "$target" = package_reader_fuzzer ]; then "$build/fuzz/fuzz_seeds" "$corpus"; fi
  if [ "$target" = pe_resources_fuzzer ]; then cp -f tests/unit/package/pe_fixtures/tiny.exe "$corpus"/; fi

  echo "== $target: ${seconds} s on $(ls "$corpus" | wc -l) inputs"
  log=$work/last-run.log
  status=0
  # Started from the work folder, with its scratch folders in there too, so
  # that whatever a target leaves behind (a crash skips its clean-up) lands
  # in the build folder and not in the repository or /tmp.
  rm -rf "$work/tmp"
  mkdir -p "$work/tmp"
  (cd "$work" && TMPDIR="$work/tmp" "$build/fuzz/$target" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -dict="$source_dir/fuzz/$target.dict" -artifact_prefix="$artifacts/" \
      -print_final_stats=1 "$corpus") >"$log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ *DONE)' "$log" || true
  if [ "$status" -ne 0 ]; then
    echo "!! $target failed (exit $status); the end of $log:"
    tail -n 60 "$log"
    ls -l "$artifacts"
    failed+=("$target")
  fi
done

[ ${#failed[@]} -eq 0 ] || echo "failed: ${failed[*]}"
echo "fuzz: $((${#targets[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
