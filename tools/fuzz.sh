#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while:
#   tools/fuzz.sh [SECONDS_PER_TARGET]   (default 20)
# The corpora stay in build-fuzz/corpus/ and grow from run to run; a crash leaves its input
# in build-fuzz/ as crash-* and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSTATEKEEPER_TESTS=OFF -DSTATEKEEPER_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "${JOBS:-2}" --target pipeline_fuzz files_fuzz keys_fuzz reply_fuzz
for target in pipeline_fuzz files_fuzz keys_fuzz reply_fuzz; do
  mkdir -p "build-fuzz/corpus/$target"
  # The reply targets start from the fields and values their rules look at.
  dict=()
  case "$target" in pipeline_fuzz | reply_fuzz) dict=(-dict=../fuzz/pipeline.dict) ;; esac
  echo "fuzzing $target for $seconds s"
  (cd build-fuzz && "./$target" -max_total_time="$seconds" -print_final_stats=0 "${dict[@]}" \
     "corpus/$target" 2>"$target.log") || { tail -40 "build-fuzz/$target.log"; exit 1; }
done
