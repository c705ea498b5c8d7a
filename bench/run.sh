#!/bin/sh
# Runs the benchmarks of a build folder (default build-bench): bench/run.sh build-bench
set -eu
build=${1:-build-bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -x "$build/console_bench" ]; then "$build/console_bench"; fi
echo "pipeline (after the download), in $work:"
"$build/pipeline_bench" "$work/"
