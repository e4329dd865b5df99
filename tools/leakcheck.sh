#!/usr/bin/env bash
# Runs the real client once under valgrind's memcheck against the stand-in
# server on loopback: start-up (the release feed announces the running
# version), sign-in as "user", main window, logout, cancelled sign-in, exit.
# An X server is provided by xvfb-run, the user by xdotool. The client is
# built in its own directory with the loopback origin compiled in.
# Usage: tools/leakcheck.sh [build-dir]   (default: build-leakcheck)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-leakcheck}
port=${ORVANTIS_LEAKCHECK_PORT:-18443}

for tool in valgrind xvfb-run xdotool; do
  command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install valgrind xvfb xdotool)" >&2; exit 2; }
done

cmake -S . -B "$build_dir" -DORVANTIS_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVANTIS_SERVER_ORIGIN="http://127.0.0.1:$port" >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target OrvantisClient orvantis-server >/dev/null
server="$build_dir/server/orvantis-server"
client="$build_dir/app/OrvantisClient"

work=$(mktemp -d)
version=$(sed -n 's/^project(OrvantisClient VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
"$server" publish --data-dir "$work/data" --version "$version" --notes "Nincs újabb." >/dev/null
"$server" --http --data-dir "$work/data" --port "$port" --seed-demo >"$work/server.log" 2>&1 &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 1 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done

# The session: valgrind runs the client in the background; xdotool waits for
# each window by its title and types into it.
cat >"$work/session.sh" <<SESSION
set -euo pipefail
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
valgrind --leak-check=full --show-leak-kinds=definite,indirect \\
  --errors-for-leak-kinds=definite,indirect --error-exitcode=99 --num-callers=40 \\
  --child-silent-after-fork=yes --suppressions="$PWD/tools/sanitizers/valgrind.supp" \\
  --log-file="$work/valgrind.log" "$client" &
client_pid=\$!
# Waits for a shown window whose title starts with \$1 and gives it the focus.
focus() {
  local window
  window=\$(timeout 120 xdotool search --sync --onlyvisible --name "^\$1" | head -n1)
  timeout 30 xdotool windowfocus --sync "\$window"
}
focus 'Bejelentkezés'
xdotool type --delay 50 'user'
xdotool key Tab
xdotool type --delay 50 'User#2026'
xdotool key Return
focus 'Orvantis - user'
# The logout button is the window's last tab stop: Shift+Tab from the search field.
xdotool key shift+Tab space
focus 'Bejelentkezés'
xdotool key Escape
wait \$client_pid
SESSION
status=0
timeout 600 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/session.sh" || status=$?
grep -E "definitely lost|indirectly lost|possibly lost|still reachable|ERROR SUMMARY" "$work/valgrind.log" || true
echo "server saw: $(grep -c 'auth/login' "$work/server.log") sign-in(s), $(grep -c 'api/v1/compounds' "$work/server.log") compound list request(s)"
cp "$work/valgrind.log" "$build_dir/valgrind.log"
echo "full log: $build_dir/valgrind.log (exit status $status)"
exit "$status"
