#!/bin/sh
# Runs the benchmarks of a build folder (default build-bench): bench/run.sh build-bench
set -eu
build=${1:-build-bench}
tools=$(dirname "$0")/../tools
work=$(mktemp -d)
trap 'python3 "$tools/fake_logbook.py" --state-dir "$work/service" --stop; rm -rf "$work"' EXIT
if [ -x "$build/console_bench" ]; then "$build/console_bench"; fi
echo "pipeline (after the download), in $work:"
"$build/pipeline_bench" "$work/"

echo "the whole update of 100,000 records from the test logbook service on 127.0.0.1:"
python3 "$tools/fake_logbook.py" --state-dir "$work/service" --daemon --lifetime 900
python3 "$tools/generate_logbook.py" --count 100000 --seed 1 \
  --output "$work/service/logbook.adi"
mkdir "$work/update"
"$build/update_bench" "$work/service" "$work/update"
