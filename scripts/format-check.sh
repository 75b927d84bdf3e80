#!/usr/bin/env bash
# Fails, naming the places, when a tracked C++ file is not as clang-format (.clang-format) would
# write it. Fix with: git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
