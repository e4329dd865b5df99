#!/usr/bin/env bash
# Start-up to the login dialog: the time from process start until a window
# titled "Bejelentkezés" is shown, for the client on the demo set-up of
# tools/run.sh (its server on https://localhost:8443 with the data in data/)
# and for a bare Qt dialog with the same two fields, taken in turns in one
# run under a virtual X server. Prints every turn and the medians.
#   bench/startup.sh [turns] [client...]
# Default client: build-run/app/OrvantisClient; several clients (e.g. two
# builds) are measured side by side. Run tools/run.sh once first, build the
# bench_baredialog target (BARE, default build/bench/bench_baredialog), and
# leave port 8443 free.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${ORVANTIS_STARTUP_XVFB:-}" ]; then
  ORVANTIS_STARTUP_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$0" "$@"
fi
turns=${1:-15}
shift || true
clients=("$@")
[ ${#clients[@]} -gt 0 ] || clients=(build-run/app/OrvantisClient)
bare=${BARE:-build/bench/bench_baredialog}
server=build-run/server/orvantis-server
for program in "$server" "$bare" "${clients[@]}"; do
  [ -x "$program" ] || { echo "Missing $program (see the header of $0)." >&2; exit 1; }
done
if (exec 3<>/dev/tcp/127.0.0.1/8443) 2>/dev/null; then
  echo "Port 8443 is in use." >&2
  exit 1
fi

work=$(mktemp -d)
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" TMPDIR="$work/tmp"
mkdir -p "$HOME" "$TMPDIR"
"$server" --data-dir data --port 8443 --quiet >"$work/server.log" 2>&1 &
server_pid=$!
trap 'kill $server_pid 2>/dev/null; wait $server_pid 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 1 100); do
  (exec 3<>/dev/tcp/127.0.0.1/8443) 2>/dev/null && break
  sleep 0.1
done

# Milliseconds from the start of the program until its login dialog is shown.
shown_after() {
  local start pid end
  start=$(date +%s%N)
  "$1" >/dev/null 2>"$work/program.log" &
  pid=$!
  until xdotool search --onlyvisible --name '^Bejelentkezés$' >/dev/null 2>&1; do
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "$1 ended before its dialog showed:" >&2
      cat "$work/program.log" >&2
      exit 1
    fi
    if [ $(($(date +%s%N) - start)) -gt 30000000000 ]; then
      echo "$1 showed no login dialog within 30 s (an update prompt?)" >&2
      kill "$pid"
      exit 1
    fi
  done
  end=$(date +%s%N)
  kill "$pid" && wait "$pid" 2>/dev/null || true
  echo $(((end - start) / 1000000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

programs=("${clients[@]}" "$bare")
for program in "${programs[@]}"; do shown_after "$program" >/dev/null; done # warm-up
for turn in $(seq 1 "$turns"); do
  line="turn $turn:"
  for i in "${!programs[@]}"; do
    ms=$(shown_after "${programs[$i]}")
    echo "$ms" >>"$work/times.$i"
    line+=" $ms"
  done
  echo "$line ms"
done
for i in "${!programs[@]}"; do
  echo "median $(median <"$work/times.$i") ms  ${programs[$i]}"
done
