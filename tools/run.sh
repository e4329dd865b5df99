#!/usr/bin/env bash
# Builds the client and starts it from the project root, where its icon
# (assets/orvantisicon.ico) resolves.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DORVANTIS_BUILD_TESTS=OFF
cmake --build "$build_dir" -j"$(nproc)" --target OrvantisClient
exec "$build_dir/app/OrvantisClient"
