#!/usr/bin/env bash
# Every C++ file of the project is formatted as .clang-format says; --fix formats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if clang-format --dry-run --Werror "${files[@]}" 2>/tmp/tollix-format.$$; then
  rm -f /tmp/tollix-format.$$
  echo "format: ${#files[@]} files formatted as .clang-format says"
else
  grep -E '^[^ ].*: (error|warning):' /tmp/tollix-format.$$ | cut -d: -f1 | sort -u | sed 's/^/format: not formatted: /'
  rm -f /tmp/tollix-format.$$
  echo "format: run tools/check_format.sh --fix" >&2
  exit 1
fi
