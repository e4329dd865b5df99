#!/usr/bin/env bash
# The server's Debian package: made by CPack, without lintian errors (its
# warnings are printed), its unit verified and its exposure rated by
# systemd-analyze, unpacked into a scratch root and run from there: a first
# administrator added from standard input (what add-user and a plain HTTP
# server beyond loopback refuse too), then the server with the packaged
# configuration, where the administrator signs in over TLS, with HSTS and
# without TLS 1.2 CBC suites.
# Arguments: build-dir source-dir version
set -euo pipefail
build=$1 source=$2 version=$3
work=$(mktemp -d) && root="$work/root" && bin="$work/root/usr/bin/orvantis-server"
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# refuses <text> <command...>: the command fails and says the text.
refuses() { local said; said=$("${@:2}" 2>&1) && fail "$*"; grep -q "$1" <<<"$said" || fail "$said"; }

cpack --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
deb="$work/orvantis-server_${version}_amd64.deb"
lintian --fail-on error "$deb" || fail "lintian finds errors"
dpkg -x "$deb" "$root"
# verify looks for the program on this machine: the unit names the unpacked one.
unit="$work/orvantis-server.service"
sed "s|/usr/bin/orvantis-server|$bin|" "$root/lib/systemd/system/orvantis-server.service" >"$unit"
problems=$(systemd-analyze verify "$unit" 2>&1) && [ -z "$problems" ] || fail "$problems"
systemd-analyze security --offline=yes --threshold=20 "$unit" >/dev/null || fail "exposure over 2.0"

data=(--data-dir "$work/data")
echo 'Anna jelszava 1' | "$bin" add-user anna --role admin "${data[@]}" >/dev/null
echo 'Anna jelszava 1' | refuses 'the user name ANNA is taken' "$bin" add-user ANNA --role user "${data[@]}"
echo 1234567 | refuses 'legalább 8 karakterből' "$bin" add-user bob --role user "${data[@]}"
refuses 'cannot create' "$bin" backup --out "$work/data/orvantis.db" "${data[@]}"
refuses 'loopback addresses only' timeout 10 "$bin" --http --listen 0.0.0.0 "${data[@]}"

"$source/tools/make-certs.sh" "$work/certs" >/dev/null
. "$root/etc/default/orvantis-server"
# shellcheck disable=SC2086 # the options are words, as systemd splits them
"$bin" "${data[@]}" --cert "$work/certs/server.pem" --key "$work/certs/server.key" \
  $ORVANTIS_SERVER_OPTIONS --port 0 --quiet >"$work/out" &
for _ in $(seq 100); do grep -q listening "$work/out" && break; sleep 0.1; done
port=$(sed -n 's/.*listening on https:\/\/localhost:\([0-9]*\)$/\1/p' "$work/out")
tls() { openssl s_client -connect "127.0.0.1:$port" -CAfile "$work/certs/ca.pem" "$@" 2>/dev/null; }
body='{"felhasznalonev":"anna","jelszo":"Anna jelszava 1"}'
reply=$(printf 'POST /api/v1/auth/login HTTP/1.1\r\nHost: localhost\r\nContent-Length: %d\r\n'`
  `'Connection: close\r\n\r\n%s' ${#body} "$body" | tls -quiet)
grep -q '"szerepkor":"admin"' <<<"$reply" || fail "no sign-in: $reply"
grep -q '^Strict-Transport-Security: max-age=31536000' <<<"$reply" || fail "no HSTS: $reply"
tls -tls1_2 -cipher ECDHE-ECDSA-AES128-SHA </dev/null >/dev/null && fail "a CBC suite was accepted"
echo PASS
