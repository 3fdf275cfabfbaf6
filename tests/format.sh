#!/usr/bin/env bash
# Every tracked source follows the repository's .clang-format: a file that
# clang-format would change fails the check, with the places it names.
# Skipped (77) without clang-format, unless CI is set.
set -uo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
  echo "format: no clang-format (package clang-format)"
  [ -n "${CI:-}" ] && exit 1
  exit 77
fi
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "format: not a git checkout, nothing to check"
  exit 77
fi
mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h' '*.c')
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "format: run clang-format -i on the files above"
  exit 1
fi
echo "format: ${#files[@]} sources follow .clang-format"
