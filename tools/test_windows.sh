#!/usr/bin/env bash
# Cross-builds the Windows program and its tests with mingw-w64 and runs the tests under
# wine, in a throwaway wine prefix: the unit tests and the download against the test
# logbook service with no display, then the console backend's tests and statekeeper.exe
# itself in console windows on a virtual display, then the zip of make package-windows
# unpacked and run without a console (tools/windows_e2e.py). Last it checks
# that statekeeper.exe needs only DLLs that come with Windows. Every wine step is bounded
# in time, so that a stuck wine helper process fails the run instead of hanging it.
#
#   tools/test_windows.sh [build folder]      (default build-win)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win}
jobs=${JOBS:-2}

./tools/install_deps.sh --with-windows

export WINEDEBUG=-all
# Wine takes its code pages from the locale. The programs' manifest makes the ANSI code
# page UTF-8 whatever the locale; the pinned locale keeps the rest the same everywhere.
export LC_ALL=C.UTF-8
export WINEARCH=win64
wine_root=$(mktemp -d /tmp/statekeeper-wine.XXXXXX)
export WINEPREFIX=$wine_root/prefix
mkdir -p "$WINEPREFIX"

service=$wine_root/service

finish() {
  python3 tools/fake_logbook.py --state-dir "$service" --stop >/dev/null 2>&1 || true
  # The helper processes of wine (services.exe and the rest) live as long as the server.
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  timeout 30 wineserver -w >/dev/null 2>&1 || true
  rm -rf "$wine_root"
}
trap finish EXIT

start=$(date +%s)

# The prefix is created in a session of its own, which is then ended: a persistent server
# started before the prefix existed made every later wine process slow. The persistent
# server and wineboot have their standard streams on /dev/null, so that the helper
# processes they start do not hold ctest's pipes open.
timeout 120 wine wineboot --init </dev/null >/dev/null 2>&1
timeout 30 wineserver -k >/dev/null 2>&1 || true
timeout 30 wineserver -w >/dev/null 2>&1 || true
timeout 30 wineserver -p </dev/null >/dev/null 2>&1
timeout 60 wine wineboot </dev/null >/dev/null 2>&1
echo "wine prefix ready in $(( $(date +%s) - start )) s"

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DSTATEKEEPER_DEV_WARNINGS=ON
cmake --build "$build" -j "$jobs"
(cd "$build" && cpack -G ZIP >/dev/null)
echo "built in $(( $(date +%s) - start )) s"

# The download tests reach the service through its state folder, named as wine sees it.
python3 tools/fake_logbook.py --state-dir "$service" --daemon --lifetime 900
export STATEKEEPER_TEST_SERVICE_DIR="Z:${service//\//\\}"
# WinHTTP trusts only the system's store: the service's authority goes into the prefix's.
timeout 60 wine "$build/windows_test_aid.exe" trust "$STATEKEEPER_TEST_SERVICE_DIR\\ca.pem" </dev/null
export STATEKEEPER_TEST_CA_TRUSTED=1
(cd "$build" && timeout 900 ctest --output-on-failure -j "$jobs" --timeout 120 </dev/null)

timeout 300 python3 tools/windows_e2e.py "$build" </dev/null

# Only DLLs that every Windows has: a missing DLL makes the program exit with no message.
allowed='^(kernel32|user32|advapi32|msvcrt|winhttp|crypt32|ws2_32|bcrypt|shell32|ole32)\.dll$'
dlls=$(x86_64-w64-mingw32-objdump -p "$build/statekeeper.exe" | sed -n 's/^\s*DLL Name: //p')
echo "statekeeper.exe imports:" $dlls
bad=$(echo "$dlls" | tr 'A-Z' 'a-z' | grep -Ev "$allowed" || true)
if [ -n "$bad" ]; then
  echo "error: statekeeper.exe imports DLLs that are not part of Windows:" $bad >&2
  exit 1
fi
echo "test-windows passed in $(( $(date +%s) - start )) s"
