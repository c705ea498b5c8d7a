#!/usr/bin/env bash
# Installs the Debian packages that building and testing Statekeeper need, and only those
# that are missing. Runs apt-get as root, or through sudo; without either it names the
# missing packages and fails.
set -euo pipefail

packages=(g++ make cmake ninja-build pkg-config libncurses-dev ncurses-base
          libcurl4-openssl-dev ca-certificates libgtest-dev libgmock-dev libbenchmark-dev
          libvterm-dev python3 openssl tmux util-linux)
for option in "$@"; do
  case "$option" in
    --with-fuzz) packages+=(clang libclang-rt-dev) ;;
    # The format and static checks of tools/lint.sh.
    --with-lint) packages+=(clang-format clang-tidy) ;;
    # The Windows cross-build, wine to run its tests, and a virtual display with key,
    # mouse and screenshot tools for its console window (tools/test_windows.sh).
    --with-windows) packages+=(g++-mingw-w64-x86-64-posix wine wine64 googletest
                               xvfb xdotool x11-apps) ;;
    # The manual's two linters, the Debian package (dpkg-shlibdeps finds its dependencies),
    # lintian to judge it, and man, to find the installed manual (tools/check_package.sh).
    --with-package) packages+=(groff-base mandoc dpkg-dev lintian man-db) ;;
    # The coverage report of make coverage.
    --with-coverage) packages+=(gcovr) ;;
    *) echo "usage: $0 [--with-fuzz] [--with-lint] [--with-windows] [--with-package] [--with-coverage]" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  apt_get=(apt-get)
elif command -v sudo >/dev/null 2>&1; then
  apt_get=(sudo apt-get)
else
  echo "error: these packages are missing and there is no root or sudo to install them:" >&2
  echo "  ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${apt_get[@]}" update -qq
if ! "${apt_get[@]}" install -y -qq --no-install-recommends "${missing[@]}"; then
  echo "error: could not install: ${missing[*]}" >&2
  exit 1
fi
