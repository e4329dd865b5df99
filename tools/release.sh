#!/usr/bin/env bash
# Releases a new version to the clients that tools/run.sh made: builds the
# client at VERSION for exactly what they were built for (their server, the
# authority they trust and their release key, which run.sh recorded in
# data/client-build.json), packs its installer and publishes it with the
# NOTES on the demo server, signed with data/keys/release-signing.key. The
# running server serves it at once; its clients install it at their next
# start. publish refuses a release that would lock them out, and then
# nothing changes.
# Usage: tools/release.sh VERSION "NOTES"
# Environment: BUILD_DIR, the build folder whose libraries the release is
# linked from (default build-run, run.sh's; its own client stays as it is);
# DATA_DIR (default data); PORT, where the server is reached (default 8443).
set -euo pipefail
[ $# -eq 2 ] || { echo 'Usage: tools/release.sh VERSION "NOTES"' >&2; exit 2; }
version=$1 notes=$2
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build-run}
data_dir=${DATA_DIR:-data}
settings="$data_dir/client-build.json"
[ -f "$settings" ] || { echo "No $settings: tools/run.sh records it when it first builds the client." >&2; exit 1; }

cmake -S . -B "$build_dir" -DORVANTIS_RELEASE_VERSION="$version" \
  -DORVANTIS_RELEASE_SETTINGS="$(realpath "$settings")" >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target release-installer orvantis-server
"$build_dir/server/orvantis-server" publish --data-dir "$data_dir" --port "${PORT:-8443}" \
  --version "$version" --notes "$notes" --signing-key "$data_dir/keys/release-signing.key" \
  --installer "$build_dir/release/OrvantisClient-$version-setup.run"
