#!/usr/bin/env bash
# A real update of an installed client, under a virtual X server: the old
# version is installed with its own installer and published as tools/run.sh
# does, the new one is released with the README's command as written (built
# in this build folder) on the stand-in server over HTTPS, and "Frissítés"
# is pressed in the installed client, which must afterwards be the new
# version and sign in.
# Arguments: server old.run certs-dir keys-dir port old-version source-dir build-dir
set -euo pipefail
server=$1 old=$2 certs=$3 keys=$4 port=$5 v_old=$6 source=$7 build=$8
work=$(mktemp -d) && app="$work/app" && data="$work/data"
# The client must reach this X server, whatever the caller chose for the toolkit.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/share" TMPDIR="$work/tmp" \
  QT_QPA_PLATFORM=xcb
mkdir -p "$HOME" "$TMPDIR" "$data/certs" && cp "$certs"/server.* "$data/certs/" && cp -r "$keys" "$data/keys"
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; cat "$app/install.log" >&2 || true; exit 1; }
window() { timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" | head -1; }
press() { [ -n "$1" ] || fail "a window did not appear"; xdotool windowfocus --sync "$1" key Return; }
installed() { "$app/OrvantisClient" --version; }
wait_for() { for _ in $(seq 300); do eval "$1" && return 0; sleep 0.1; done; fail "$2"; }
start() { "$app/OrvantisClient" 2>/dev/null & client=$!; }

sh "$old" /VERYSILENT /SUPPRESSMSGBOXES /NORESTART /SP- "/DIR=$app" >/dev/null \
  && [ "$(installed)" = "$v_old" ] || fail "the old version is not installed"
# As tools/run.sh records it; the release is checked against it.
"$app/OrvantisClient" --build-info >"$data/client-build.json"
"$server" publish --data-dir "$data" --port "$port" --version "$v_old" --notes "Teszt" \
  --installer "$old" --signing-key "$keys/release-signing.key" >/dev/null
release=$(sed -n '/^## Releasing an update/,/^## /s/^    \(tools\/release\.sh .*\)/\1/p' "$source/README.md")
v_new=$(awk '{ print $2 }' <<<"$release")
(cd "$source" && export BUILD_DIR="$build" DATA_DIR="$data" PORT="$port" && eval "$release") \
  >"$work/release.log" 2>&1 || { cat "$work/release.log" >&2; fail "$release"; }
"$server" --data-dir "$data" --port "$port" --seed-demo --quiet >/dev/null &
wait_for "(exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null" "the server does not start"

start && prompt=$(window "Kötelező frissítés") && [ -n "$prompt" ] || fail "no update prompt"
started=$(date +%s%N) && press "$prompt"
wait_for "! kill -0 $client 2>/dev/null" "the client did not quit for the installer"
wait_for '[ "$(installed)" = "$v_new" ]' "the new version was not installed"
start && login=$(window "Bejelentkezés") && [ -n "$login" ] || fail "no login dialog after the update"
echo "from Frissítés to the new version's login dialog: $((($(date +%s%N) - started) / 1000000)) ms"
xdotool windowfocus --sync "$login" type user && xdotool key Tab && xdotool type 'User#2026'
press "$login"
[ -n "$(window "Orvantis - user \\(user\\)")" ] || fail "the updated client does not sign in"
kill $client
echo "PASS"
