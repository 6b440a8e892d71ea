#!/usr/bin/env bash
# Checks that every C++ source of ours is formatted with the repository's .clang-format.
# Prints the places that differ and fails; `clang-format -i FILE` mends a file.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -d '' files < <(find bench controls decoders engine media platform resources tests tools window \
  -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
clang-format --dry-run --Werror "${files[@]}"
echo "check-format: ${#files[@]} files formatted"
