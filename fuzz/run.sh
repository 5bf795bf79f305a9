#!/usr/bin/env bash
# Builds the fuzz preset, makes the seed corpora (the realistic fixtures and the
# hostile corpus) and runs each fuzz target in turn for SECONDS (default 60).
#
#   fuzz/run.sh [SECONDS] [TARGET...]
#
# The corpora grow across runs under $FUZZ_BUILD_DIR/corpora (default build/fuzz);
# inputs that break a target land in $FUZZ_BUILD_DIR/artifacts and fail the run.
# FUZZ_SEED fixes libFuzzer's random seed, so that a short run from fresh corpora
# retraces the same inputs (CI does this); unset, every run explores anew.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(fuzz_load fuzz_roundtrip fuzz_builder)
build=${FUZZ_BUILD_DIR:-build/fuzz}

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2

seeds="$build/corpora/seeds"
rm -rf "$seeds"
mkdir -p "$seeds" "$build/artifacts"
"$build/fuzz/write_corpus" "$seeds"
shopt -s nullglob
for fixture in tests/fixtures/*.exe tests/fixtures/*.dll tests/hostile/regressions/*; do
  cp "$fixture" "$seeds/"
done

# A smaller quarantine than ASan's default keeps the peak memory of a long run well
# below the limit, so that only a real blow-up counts as running out of memory.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=32}

status=0
for target in "${targets[@]}"; do
  corpus="$build/corpora/$target"
  mkdir -p "$corpus"
  case "$target" in
    fuzz_builder) inputs=("$corpus"); max_len=4096 ;;  # bytes describe a tree, not a file
    *) inputs=("$corpus" "$seeds"); max_len=262144 ;;
  esac
  echo "== $target for ${seconds}s"
  "$build/fuzz/$target" -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb=512 \
      ${FUZZ_SEED:+-seed="$FUZZ_SEED"} \
      -timeout=10 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
      "${inputs[@]}" 2>"$build/$target.log" &
  pid=$!
  if ! wait $pid; then
    status=1
    grep -A30 -E "ERROR|property broken" "$build/$target.log" | head -60 >&2 || true
  fi
  # Saved files of a run that ended without its handlers at exit.
  rm -rf /dev/shm/resgraft-fuzz-$pid-* "${TMPDIR:-/tmp}"/resgraft-fuzz-$pid-*
  grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb)" "$build/$target.log" || true
done
exit $status
