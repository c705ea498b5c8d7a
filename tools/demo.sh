#!/usr/bin/env bash
# Runs Statekeeper against the test logbook service with a generated logbook, in a
# throwaway folder, so that anyone can see the whole program work without a QRZ account.
# At the first-run prompts type any call sign and the API key XXXX-YYYY-ZZZZ-AAAA.
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/statekeeper}
count=${DEMO_RECORDS:-3000}

work=$(mktemp -d "${TMPDIR:-/tmp}/statekeeper-demo.XXXXXX")
service="$work/service"
mkdir -p "$service" "$work/data" "$work/temp"
stop() {
  python3 tools/fake_logbook.py --state-dir "$service" --stop >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap stop EXIT

python3 tools/generate_logbook.py --seed 73 --count "$count" --output "$service/logbook.adi"
python3 tools/fake_logbook.py --state-dir "$service" --daemon --lifetime 3600
port=$(cat "$service/port")

echo "Test logbook service on https://127.0.0.1:$port/api with $count records."
echo "At the prompts type a call sign (say K1ABC) and the API key XXXX-YYYY-ZZZZ-AAAA."
sleep 2
LOCALAPPDATA="$work/data" TEMP="$work/temp" \
  STATEKEEPER_LOGBOOK_URL="https://127.0.0.1:$port/api" \
  STATEKEEPER_CA_FILE="$service/ca.pem" "$program"
