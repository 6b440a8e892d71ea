#!/usr/bin/env bash
# Installs what is missing, checks the formatting of every source, then builds (warnings as
# errors) and tests TAVRO twice:
#  1. build-gcc/:  g++, optimised, every warning on, benchmarks compiled; all tests, including
#                  the ones that count allocations (a sanitizer replaces the allocator, so they
#                  can only run here);
#  2. build-test/: clang with the address and undefined-behaviour sanitizers and the libFuzzer
#                  targets; all tests again, plus short fuzz runs.
# Extra arguments go to both ctest runs (for example -R OggPlayer).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/check-format.sh

gcc_build=${TAVRO_GCC_BUILD:-build-gcc}
san_build=${TAVRO_TEST_BUILD:-build-test}

echo "== g++ build ($gcc_build)"
cmake -S . -B "$gcc_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
  -DTAVRO_SANITIZE=OFF -DTAVRO_FUZZ=OFF -DTAVRO_BENCH=ON -DTAVRO_TESTS=ON -DTAVRO_WERROR=ON >/dev/null
cmake --build "$gcc_build" -j2
(cd "$gcc_build" && ctest --output-on-failure -j2 "$@")

echo "== clang build with sanitizers and fuzzers ($san_build)"
cmake -S . -B "$san_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTAVRO_SANITIZE=ON -DTAVRO_FUZZ=ON -DTAVRO_BENCH=OFF -DTAVRO_TESTS=ON -DTAVRO_WERROR=ON >/dev/null
cmake --build "$san_build" -j2
(cd "$san_build" && ctest --output-on-failure -j2 "$@")
