#!/usr/bin/env bash
# The tree's habits, checked before anything is built (make test runs this first):
#   - every text file ends with a line end and has no blanks at the end of a line, and
#     only LF line ends (the golden screens of tests/golden are CR LF data and exempt);
#   - every C++ file is formatted as .clang-format says, and is shorter than 450 lines;
#   - given a build folder, the checks of .clang-tidy pass on every C++ file of its
#     compile database (the POSIX build's files: the Windows-only files are not in it).
#
#   tools/lint.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-}
jobs=${JOBS:-2}
failed=0

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files --cached --others --exclude-standard)
else
  mapfile -t files < <(find . -path ./.git -prune -o -path './build*' -prune -o -type f -print |
                       sed 's|^\./||')
fi

# Whitespace, in text files only (grep -I passes over binary ones).
for file in "${files[@]}"; do
  [ -f "$file" ] || continue
  case "$file" in tests/golden/*) continue ;; esac
  grep -Iq . "$file" || continue
  if grep -nE '[[:blank:]]+$' "$file" | sed "s|^|$file:|;s|\$| <- blanks at the end|" | grep .; then
    failed=1
  fi
  if grep -n $'\r' "$file" | cut -d: -f1 | sed "s|^|$file:|;s|\$|: a CR line end|" | grep .; then
    failed=1
  fi
  if [ -s "$file" ] && [ -n "$(tail -c1 "$file")" ]; then
    echo "$file: no line end after the last line"
    failed=1
  fi
done

sources=()
for file in "${files[@]}"; do
  case "$file" in *.cc | *.h) [ -f "$file" ] && sources+=("$file") ;; esac
done
max_lines=450
for file in "${sources[@]}"; do
  lines=$(wc -l <"$file")
  if [ "$lines" -ge "$max_lines" ]; then
    echo "$file: $lines lines; a source file stays under $max_lines (split it by concept)"
    failed=1
  fi
done

if ! clang-format --dry-run -Werror "${sources[@]}"; then
  echo "lint: run clang-format -i on the files above"
  failed=1
fi

if [ -n "$build" ]; then
  if [ ! -f "$build/compile_commands.json" ]; then
    echo "lint: $build/compile_commands.json is missing: configure $build with CMake first"
    exit 1
  fi
  log=$(mktemp)
  trap 'rm -f "$log"' EXIT
  root=$(pwd)
  if ! run-clang-tidy -p "$build" -quiet -j "$jobs" "^$root/(src|tests|bench|fuzz)/" >"$log" 2>&1; then
    # Only the findings, not the command lines and counts that run-clang-tidy prints.
    grep -E -A3 '(warning|error):' "$log" | grep -vE '^[0-9]+ warnings? generated' || cat "$log"
    echo "lint: clang-tidy found the problems above (.clang-tidy lists the checks)"
    failed=1
  fi
fi

if [ "$failed" -ne 0 ]; then
  echo "lint: failed"
  exit 1
fi
echo "lint: clean"
