#!/usr/bin/env bash
# Installs what is missing, builds TAVRO with clang under the address and undefined-behaviour
# sanitizers (with the libFuzzer targets), and runs every test through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${TAVRO_TEST_BUILD:-build-test}
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTAVRO_SANITIZE=ON -DTAVRO_FUZZ=ON -DTAVRO_BENCH=OFF -DTAVRO_TESTS=ON >/dev/null
cmake --build "$build" -j2
cd "$build"
ctest --output-on-failure -j2 "$@"
