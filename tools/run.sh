#!/usr/bin/env bash
# Runs the whole system on this machine: installs the Debian packages, builds
# the stand-in server and the client (which trusts the local certificate
# authority and the demo release signing key), creates on first use the
# certificates, the signing key pair (data/keys/), the demo database and a
# signed release feed announcing the client's own version, starts the server
# on https://localhost:8443 and then the client. The first client it builds
# records what it was built for in data/client-build.json, for
# tools/release.sh. The server stops when the client exits; the next run
# reuses everything in data/.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

build_dir=${BUILD_DIR:-build-run}
data_dir=data
port=8443

tools/make-certs.sh "$data_dir/certs"
cmake -S . -B "$build_dir" -DORVANTIS_BUILD_TESTS=OFF -DORVANTIS_BUILD_SERVER=ON \
  -DORVANTIS_EXTRA_CA="$PWD/$data_dir/certs/ca.pem" \
  -DORVANTIS_SERVER_ORIGIN="https://localhost:$port"
cmake --build "$build_dir" -j"$(nproc)" --target orvantis-server
server="$build_dir/server/orvantis-server"

keys="$data_dir/keys"
[ -f "$keys/release-signing.pub" ] || "$server" keygen --out "$keys"
cmake -S . -B "$build_dir" -DORVANTIS_RELEASE_PUBKEY="$PWD/$keys/release-signing.pub"
cmake --build "$build_dir" -j"$(nproc)" --target OrvantisClient installer
# Releases must be built for exactly what the clients out there carry.
settings="$data_dir/client-build.json"
if [ ! -f "$settings" ]; then
  "$build_dir/app/OrvantisClient" --build-info >"$settings.new" && mv "$settings.new" "$settings"
fi

if [ ! -f "$data_dir/releases/latest.json" ]; then
  version=$(sed -n 's/^project(OrvantisClient VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  "$server" publish --data-dir "$data_dir" --port "$port" --version "$version" \
    --notes "A jelenleg futó kiadás." --signing-key "$keys/release-signing.key" \
    --installer "$build_dir/OrvantisClient-$version-setup.run"
fi

"$server" --data-dir "$data_dir" --port "$port" --seed-demo >>"$data_dir/server.log" 2>&1 &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true' EXIT

# Wait until the server accepts connections (or has given up).
for _ in $(seq 1 100); do
  if ! kill -0 "$server_pid" 2>/dev/null; then
    echo "The server did not start; see $data_dir/server.log" >&2
    tail -n 5 "$data_dir/server.log" >&2
    exit 1
  fi
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    break
  fi
  sleep 0.1
done
echo "Server: https://localhost:$port (log: $data_dir/server.log)"

"$build_dir/app/OrvantisClient"
