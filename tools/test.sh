#!/usr/bin/env bash
# Builds the client, the stand-in server, the tests and benchmarks, then runs
# every test suite. Extra arguments go to the CMake configuration.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
build_dir=${BUILD_DIR:-build}
# Rebuilds of the same sources, in any checkout, come from ccache when it is there.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$PWD"
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build_dir" -DORVANTIS_BUILD_TESTS=ON "${launcher[@]}" "$@"
cmake --build "$build_dir" -j"$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure -j2
