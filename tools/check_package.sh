#!/usr/bin/env bash
# Checks the two ways to install the program as a person would use them:
#   1. make package, then lintian (no error, no warning), then dpkg -i of the .deb: its
#      name, version and dependencies, the exact
#      files dpkg lists, statekeeper --version, man -w statekeeper, the installed program run
#      in tmux to its first screen (by its full path, and by name from another folder), and
#      dpkg --purge leaving nothing behind;
#   2. make install DESTDIR=... with the default and another PREFIX: the exact files, the
#      staged program's --version and manual, and nothing written outside DESTDIR.
# Installing a package needs root: without it the check says so and passes (CI runs it as
# root). It never leaves the package installed: a trap removes it on every way out.
set -euo pipefail
cd "$(dirname "$0")/.."
# Lists sort byte by byte, whatever the caller's locale.
export LC_ALL=C

say() { echo "check_package: $*"; }
fail() {
  echo "check_package: FAILED: $*" >&2
  exit 1
}

if [ "$(id -u)" -ne 0 ]; then
  say "skipped: installing the Debian package needs root (run 'make test' as root to check it)"
  exit 0
fi

# The one place the version is written.
version=$(sed -n 's/^project(statekeeper VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "cannot read the project version from CMakeLists.txt"
# The package's own release of that version (CPACK_DEBIAN_PACKAGE_RELEASE).
package_version="$version-1"
arch=$(dpkg --print-architecture)
deb="build/statekeeper_${package_version}_${arch}.deb"

# What the package installs, as dpkg -L lists it, and the paths that are the package's own
# (the folders above them belong to every package).
package_list="/usr
/usr/bin
/usr/bin/statekeeper
/usr/share
/usr/share/doc
/usr/share/doc/statekeeper
/usr/share/doc/statekeeper/README.md
/usr/share/doc/statekeeper/changelog.Debian.gz
/usr/share/doc/statekeeper/copyright
/usr/share/lintian
/usr/share/lintian/overrides
/usr/share/lintian/overrides/statekeeper
/usr/share/man
/usr/share/man/man1
/usr/share/man/man1/statekeeper.1.gz"
own_paths=(/usr/bin/statekeeper /usr/share/man/man1/statekeeper.1.gz
           /usr/share/doc/statekeeper/README.md /usr/share/doc/statekeeper/copyright
           /usr/share/doc/statekeeper/changelog.Debian.gz
           /usr/share/lintian/overrides/statekeeper /usr/share/doc/statekeeper)

# Everything named after the program in the system's folders, to compare before and after.
system_names() {
  find /usr /etc /var /opt -xdev -name '*statekeeper*' 2>/dev/null | sort
}

# Refuses to run where the check could replace or remove something that is not its own.
status=$(dpkg-query -W -f='${db:Status-Status}' statekeeper 2>/dev/null || true)
if [ -n "$status" ] && [ "$status" != "not-installed" ]; then
  fail "the statekeeper package is on this machine ($status); the check would replace and" \
       "remove it: remove it first (dpkg --purge statekeeper)"
fi
for path in "${own_paths[@]}" /usr/local/bin/statekeeper; do
  [ ! -e "$path" ] || fail "$path is already there; the check would overwrite or remove it"
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/statekeeper-package-check.XXXXXX")
tmux_socket="$tmp/tmux.socket"
session="statekeeper-check-$$"
installed=0
cleanup() {
  local status=$?
  tmux -S "$tmux_socket" kill-server 2>/dev/null || true
  if [ "$installed" -eq 1 ]; then
    say "removing the package"
    dpkg --purge statekeeper >/dev/null 2>&1 || true
    if dpkg-query -W -f='${db:Status-Status}' statekeeper 2>/dev/null | grep -qv not-installed
    then
      echo "check_package: could not remove the statekeeper package: dpkg --purge statekeeper" >&2
      status=1
    fi
  fi
  rm -rf "$tmp"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# Polls `command` until it succeeds, for up to 15 s; fails when it never does.
wait_until() {
  local deadline=$((SECONDS + 15))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

expect_equal() {  # what, expected, actual
  [ "$2" = "$3" ] || fail "$1: expected
$2
but got
$3"
}

before=$(system_names)

# ---- 1. the Debian package ---------------------------------------------------------------
say "building the package"
rm -f "$deb"
make --no-print-directory package >"$tmp/package.log" 2>&1 || {
  cat "$tmp/package.log"
  fail "make package"
}
[ -f "$deb" ] || fail "make package did not make $deb: $(ls build/*.deb 2>/dev/null)"
expect_equal "package name" statekeeper "$(dpkg-deb -f "$deb" Package)"
expect_equal "package version" "$package_version" "$(dpkg-deb -f "$deb" Version)"
expect_equal "package architecture" "$arch" "$(dpkg-deb -f "$deb" Architecture)"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libcurl4 libncursesw6; do
  [[ ",$depends" == *", $library "* || ",$depends" == *",$library "* ]] ||
    fail "the package does not depend on $library: $depends"
done
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "the package has no maintainer"

# Debian's own judgement of the package: any error or warning fails the check (an
# override in tools/lintian-overrides says why it is there). Its full report is shown.
say "lintian $deb"
lintian_status=0
lintian_report=$(lintian --fail-on error,warning --display-info "$deb" 2>&1) || lintian_status=$?
echo "${lintian_report:-(no tag)}" | sed 's/^/    /'
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors or warnings on $deb"

# Container images often tell dpkg to leave out manual pages and documentation
# (path-exclude in /etc/dpkg/dpkg.cfg.d). A person's Debian system installs them, so the
# check asks for this package's own, after those rules, and says that it does.
excludes=$(cat /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/* 2>/dev/null | grep '^path-exclude' || true)
if [ -n "$excludes" ]; then
  say "this machine's dpkg leaves out some paths; the package's own are included again:"
  echo "$excludes" | sed 's/^/    /'
fi
say "installing $deb"
installed=1
dpkg --path-include=/usr/share/man/man1/statekeeper.1.gz \
     --path-include='/usr/share/doc/statekeeper/*' -i "$deb" >"$tmp/dpkg.log" 2>&1 || {
  cat "$tmp/dpkg.log"
  fail "dpkg -i $deb"
}

expect_equal "dpkg -L statekeeper" "$package_list" "$(dpkg -L statekeeper | sort)"
for file in /usr/bin/statekeeper /usr/share/man/man1/statekeeper.1.gz \
            /usr/share/doc/statekeeper/README.md /usr/share/doc/statekeeper/copyright \
            /usr/share/doc/statekeeper/changelog.Debian.gz; do
  [ -f "$file" ] || fail "$file is listed but not on disk"
done
[ -x /usr/bin/statekeeper ] || fail "/usr/bin/statekeeper is not executable"
cmp -s README.md /usr/share/doc/statekeeper/README.md || fail "the installed README differs"
grep -qF "$(sed -n 3p LICENSE | sed 's/^Copyright (c) /Copyright: /')" \
  /usr/share/doc/statekeeper/copyright || fail "the copyright file does not name the holder"
[[ "$(zcat /usr/share/doc/statekeeper/changelog.Debian.gz)" == "statekeeper ($package_version)"* ]] ||
  fail "the changelog does not begin with this version"

# The checks see the system as a new shell would: /usr/bin on the path, man's own settings.
system_path=/usr/bin:/bin
expect_equal "statekeeper --version" "statekeeper $version" \
  "$(env PATH=$system_path statekeeper --version)"
expect_equal "man -w statekeeper" /usr/share/man/man1/statekeeper.1.gz \
  "$(env -u MANPATH PATH=$system_path man -w statekeeper)"
# The page found is shown as a file (-l), so that man keeps no formatted copy of it in
# /var/cache/man, which would outlive the package.
page=$(env -u MANPATH MANWIDTH=80 MANPAGER=cat man -l /usr/share/man/man1/statekeeper.1.gz 2>&1)
[[ "$page" == *"statekeeper - track the Worked All States award"* ]] ||
  fail "man statekeeper does not show the page: $page"
[[ "$page" == *"statekeeper $version"* ]] || fail "the manual does not name version $version"

# The tmux session's screen, and whether it shows `text`.
pane() { tmux -S "$tmux_socket" capture-pane -p -t "$session" 2>/dev/null; }
shows() { pane | grep -qF "$1"; }

# Runs `command` in tmux on a 66 x 43 window in folder `cwd`, with the Program folder's
# parents in the scratch folder, until the first-run introduction shows; declines it and
# checks that the program ends with status 0 having written nothing. The tmux server is
# this check's own (its own socket, no configuration file).
run_first_screen() {
  local cwd=$1 command=$2
  mkdir -p "$tmp/home" "$tmp/xdg"
  rm -f "$tmp/status"
  tmux -f /dev/null -S "$tmux_socket" new-session -d -s "$session" -x 66 -y 43 -c "$cwd" \
    "env -u LOCALAPPDATA -u TEMP -u TMPDIR HOME='$tmp/home' XDG_DATA_HOME='$tmp/xdg' \
     PATH=$system_path LC_ALL=C.UTF-8 $command; echo \$? >'$tmp/status'"
  wait_until shows "Before going further you will need your QRZ Account Name" ||
    fail "'$command' in $cwd did not show the first-run introduction:
$(pane)"
  tmux -S "$tmux_socket" send-keys -t "$session" n
  wait_until shows "Thanks for playing" || fail "'$command' did not say farewell:
$(pane)"
  tmux -S "$tmux_socket" send-keys -t "$session" x
  wait_until test -s "$tmp/status" || fail "'$command' did not end after the farewell"
  expect_equal "exit status of '$command'" 0 "$(cat "$tmp/status")"
  expect_equal "files written by '$command' at its first screen" "" \
    "$(find "$tmp/home" "$tmp/xdg" -mindepth 1)"
}
say "running the installed program in tmux"
run_first_screen /usr/bin /usr/bin/statekeeper
mkdir "$tmp/elsewhere"
run_first_screen "$tmp/elsewhere" statekeeper
expect_equal "files in the working folder" "" "$(ls -A "$tmp/elsewhere")"

say "removing the package"
dpkg --purge statekeeper >"$tmp/dpkg.log" 2>&1 || {
  cat "$tmp/dpkg.log"
  fail "dpkg --purge statekeeper"
}
installed=0
status=$(dpkg-query -W -f='${db:Status-Status}' statekeeper 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = "not-installed" ] || fail "dpkg still knows the package: $status"
for path in "${own_paths[@]}"; do
  [ ! -e "$path" ] || fail "$path is left behind"
done
expect_equal "paths named after the program after removing it" "$before" "$(system_names)"

# ---- 2. make install --------------------------------------------------------------------
# Runs make install into a staging folder and checks the exact files under it.
check_make_install() {
  local prefix=$1
  shift
  local stage="$tmp/stage${prefix//\//-}"
  say "make install DESTDIR=$stage $*"
  make --no-print-directory install DESTDIR="$stage" "$@" >"$tmp/install.log" 2>&1 || {
    cat "$tmp/install.log"
    fail "make install DESTDIR=$stage $*"
  }
  local expected="" path="" part
  # Every folder from the top down to the prefix, then what is under it.
  for part in ${prefix//\// }; do
    path="$path/$part"
    expected+="$path"$'\n'
  done
  expected+="$prefix/bin
$prefix/bin/statekeeper
$prefix/share
$prefix/share/doc
$prefix/share/doc/statekeeper
$prefix/share/doc/statekeeper/LICENSE
$prefix/share/doc/statekeeper/README.md
$prefix/share/man
$prefix/share/man/man1
$prefix/share/man/man1/statekeeper.1.gz"
  expect_equal "files under DESTDIR" "$expected" \
    "$(cd "$stage" && find . -mindepth 1 | sed 's/^\.//' | sort)"
  expect_equal "staged statekeeper --version" "statekeeper $version" \
    "$("$stage$prefix/bin/statekeeper" --version)"
  expect_equal "man -w with the staged manual" "$stage$prefix/share/man/man1/statekeeper.1.gz" \
    "$(MANPATH="$stage$prefix/share/man" man -w statekeeper)"
  cmp -s README.md "$stage$prefix/share/doc/statekeeper/README.md" ||
    fail "the staged README differs"
  cmp -s LICENSE "$stage$prefix/share/doc/statekeeper/LICENSE" || fail "the staged LICENSE differs"
}
check_make_install /usr/local
check_make_install /usr PREFIX=/usr
[ ! -e /usr/local/bin/statekeeper ] || fail "make install wrote outside DESTDIR"
expect_equal "paths named after the program after make install" "$before" "$(system_names)"

say "passed: the package of statekeeper $version and make install"
