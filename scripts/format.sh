#!/usr/bin/env bash
# Formats every C++ file tracked by git with clang-format and the root's
# .clang-format. With --check, changes nothing and fails, naming the files,
# when one is not formatted.
set -euo pipefail
cd "$(dirname "$0")/.."
files=()
while IFS= read -r -d '' file; do
  [[ -f $file ]] && files+=("$file") # not one deleted in the working tree
done < <(git ls-files -z -- '*.cpp' '*.h')
if [[ ${1:-} == --check ]]; then
  if ! clang-format --dry-run --Werror "${files[@]}" 2>/dev/null; then
    echo "not formatted (scripts/format.sh formats them):"
    clang-format --dry-run "${files[@]}" 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning: .*/  \1/p' | sort -u
    exit 1
  fi
  echo "the ${#files[@]} C++ files tracked are formatted"
else
  clang-format -i "${files[@]}"
fi
