#!/usr/bin/env bash
# Formats every C++ file of the repository in place with .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files '*.cpp' '*.h' | xargs clang-format -i
