#!/usr/bin/env bash
# Sets up, builds and starts the adventure in a window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target adventure
exec ./build/adventure "$@"
