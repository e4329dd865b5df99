#!/usr/bin/env bash
# Load figures for orvantis-server on loopback: requests per second and p99
# latency for the compound list (1,000 compounds) and for search, over plain
# HTTP and over HTTPS, measured with wrk. Builds nothing: run after a build.
# Usage: bench/server-load.sh [build-dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
server="$build_dir/server/orvantis-server"
[ -x "$server" ] || { echo "No server at $server; build the orvantis-server target first." >&2; exit 1; }
command -v wrk >/dev/null || { echo "wrk is not installed (apt-get install wrk)." >&2; exit 1; }
duration=${DURATION:-10s}
connections=${CONNECTIONS:-16}

work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
tools/make-certs.sh "$work/certs" >/dev/null

start_server() { # scheme
  local extra=()
  [ "$1" = http ] && extra=(--http)
  "$server" --data-dir "$work/data" --cert "$work/certs/server.pem" --key "$work/certs/server.key" \
    --port 0 --quiet --seed-demo --seed-generated 952 "${extra[@]}" >"$work/out.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 1 200); do
    port=$(sed -n 's/.*listening on [a-z]*:\/\/[^:]*:\([0-9]*\).*/\1/p' "$work/out.log")
    [ -n "$port" ] && return 0
    sleep 0.05
  done
  echo "The server did not start:" >&2; cat "$work/out.log" >&2; exit 1
}

stop_server() {
  kill "$server_pid"; wait "$server_pid" 2>/dev/null || true; server_pid=
}

login() { # port -> token, over a plain socket (HTTP only)
  local body='{"felhasznalonev":"user","jelszo":"User#2026"}'
  exec 3<>"/dev/tcp/127.0.0.1/$1"
  printf 'POST /api/v1/auth/login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: %d\r\nConnection: close\r\n\r\n%s' \
    "${#body}" "$body" >&3
  sed -n 's/.*"access_token":"\([0-9a-f]*\)".*/\1/p' <&3
  exec 3<&-
}

measure() { # label url token
  local out rps p99
  out=$(wrk -t2 -c"$connections" -d"$duration" --latency -H "Authorization: Bearer $3" "$2")
  rps=$(awk '/^Requests\/sec/ {print $2}' <<<"$out")
  p99=$(awk '$1 == "99%" {print $2}' <<<"$out")
  printf '%-34s %10s req/s   p99 %s\n' "$1" "$rps" "$p99"
}

count_compounds() { # port token
  exec 3<>"/dev/tcp/127.0.0.1/$1"
  printf 'GET /api/v1/compounds HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer %s\r\nConnection: close\r\n\r\n' "$2" >&3
  grep -o '"kod"' <&3 | wc -l
  exec 3<&-
}

# One scheme per server process; the database in $work/data is shared.
start_server http
token=$(login "$port")
[ -n "$token" ] || { echo "Login failed." >&2; exit 1; }
count=$(count_compounds "$port" "$token")
echo "orvantis-server load on loopback ($count compounds, $connections connections, $duration each)"
measure "HTTP  list of all compounds" "http://127.0.0.1:$port/api/v1/compounds" "$token"
measure "HTTP  search q=klorid limit=200" "http://127.0.0.1:$port/api/v1/compounds/search?q=klorid&limit=200" "$token"
measure "HTTP  search q=minta limit=200" "http://127.0.0.1:$port/api/v1/compounds/search?q=minta&limit=200" "$token"
stop_server

# Over HTTPS the login goes through openssl s_client.
start_server https
body='{"felhasznalonev":"user","jelszo":"User#2026"}'
https_token=$(printf 'POST /api/v1/auth/login HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/json\r\nContent-Length: %d\r\nConnection: close\r\n\r\n%s' "${#body}" "$body" \
  | openssl s_client -quiet -connect "127.0.0.1:$port" -servername localhost -CAfile "$work/certs/ca.pem" 2>/dev/null \
  | sed -n 's/.*"access_token":"\([0-9a-f]*\)".*/\1/p')
[ -n "$https_token" ] || { echo "HTTPS login failed." >&2; exit 1; }
measure "HTTPS list of all compounds" "https://localhost:$port/api/v1/compounds" "$https_token"
measure "HTTPS search q=klorid limit=200" "https://localhost:$port/api/v1/compounds/search?q=klorid&limit=200" "$https_token"
