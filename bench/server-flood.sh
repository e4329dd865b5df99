#!/usr/bin/env bash
# Whether password hashing stalls the server, on loopback: the compound
# list's median and p99 latency alone and during a sign-in flood (16 clients,
# each making 20 sign-ins with made-up names one after the other), the
# sign-ins completed per second under the flood and how many were refused
# with 503. Builds nothing: run after a build. Only 127.0.0.1; every run is
# bounded in count and time.
# Usage: bench/server-flood.sh [build-dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
server="$build_dir/server/orvantis-server"
[ -x "$server" ] || { echo "No server at $server; build the orvantis-server target first." >&2; exit 1; }
for tool in wrk curl; do
  command -v $tool >/dev/null || { echo "$tool is not installed (apt-get install $tool)." >&2; exit 1; }
done
clients=${CLIENTS:-16}
signins=${SIGNINS:-20}
list_connections=${LIST_CONNECTIONS:-4}

work=$(mktemp -d)
server_pid=
list_pid=
cleanup() {
  if [ -n "$list_pid" ]; then kill "$list_pid" 2>/dev/null || true; fi
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

"$server" --data-dir "$work/data" --http --port 0 --quiet --seed-demo >"$work/out.log" 2>&1 &
server_pid=$!
port=
for _ in $(seq 1 600); do
  port=$(sed -n 's/.*listening on http:\/\/[^:]*:\([0-9]*\).*/\1/p' "$work/out.log")
  [ -n "$port" ] && break
  sleep 0.05
done
[ -n "$port" ] || { echo "The server did not start:" >&2; cat "$work/out.log" >&2; exit 1; }

body='{"felhasznalonev":"user","jelszo":"User#2026"}'
exec 3<>"/dev/tcp/127.0.0.1/$port"
printf 'POST /api/v1/auth/login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: %d\r\nConnection: close\r\n\r\n%s' \
  "${#body}" "$body" >&3
token=$(sed -n 's/.*"access_token":"\([0-9a-f]*\)".*/\1/p' <&3)
exec 3<&-
[ -n "$token" ] || { echo "Login failed." >&2; exit 1; }
list_url="http://127.0.0.1:$port/api/v1/compounds"

list() { # duration -> wrk output
  wrk -t1 -c"$list_connections" -d"$1" --latency -H "Authorization: Bearer $token" "$list_url"
}
percentile() { # wrk output, label (50% or 99%)
  awk -v p="$2" '$1 == p {print $2}' <<<"$1"
}

# One flood client: sign-ins with made-up names, one after the other, each
# on a new connection; prints the status of each.
flood_client() { # client number
  local i
  for i in $(seq 1 "$signins"); do
    ((SECONDS < deadline)) || break
    curl -s -o /dev/null -m 60 -w '%{http_code}\n' -H 'Content-Type: application/json' \
      -d "{\"felhasznalonev\":\"flood-$1-$i\",\"jelszo\":\"nem-ez-a-jelszo\"}" \
      "http://127.0.0.1:$port/api/v1/auth/login" || echo 000
  done
}

alone=$(list 5s)
# The list load runs in the background and is stopped (SIGINT makes wrk
# report) once every flood client has finished; the flood ends by itself
# after 240 s at the latest.
deadline=$((SECONDS + 240))
list 250s >"$work/list.out" &
list_pid=$!
sleep 0.5
started=$(date +%s.%N)
flood_pids=()
for c in $(seq 1 "$clients"); do
  flood_client "$c" >"$work/flood-$c.out" &
  flood_pids+=($!)
done
wait "${flood_pids[@]}"
seconds=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN {print b - a}')
kill -INT "$list_pid" 2>/dev/null || true
wait "$list_pid" || true
list_pid=
during=$(cat "$work/list.out")
completed=$(cat "$work"/flood-*.out | grep -c '^401$' || true)
busy=$(cat "$work"/flood-*.out | grep -c '^503$' || true)
other=$(cat "$work"/flood-*.out | grep -vc '^\(401\|503\)$' || true)

echo "orvantis-server sign-in flood on loopback ($(nproc) cores, list over $list_connections connections)"
printf 'list alone            median %-9s p99 %s\n' "$(percentile "$alone" 50%)" "$(percentile "$alone" 99%)"
printf 'list during flood     median %-9s p99 %s\n' "$(percentile "$during" 50%)" "$(percentile "$during" 99%)"
printf 'flood                 %d clients x %d sign-ins in %.1f s: %d completed (%.1f/s), %d refused with 503, %d other\n' \
  "$clients" "$signins" "$seconds" "$completed" "$(awk -v c="$completed" -v s="$seconds" 'BEGIN {print c / s}')" \
  "$busy" "$other"
