#!/usr/bin/env bash
# Fails when a C++ file of the repository is not formatted as .clang-format says, and names
# the files. Run scripts/format.sh to format them.
set -euo pipefail
cd "$(dirname "$0")/.."
unformatted=$(git ls-files '*.cpp' '*.h' | while read -r file; do
  clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || echo "$file"
done)
if [ -n "$unformatted" ]; then
  echo "not formatted (run scripts/format.sh):"
  echo "$unformatted"
  exit 1
fi
