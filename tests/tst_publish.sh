#!/usr/bin/env bash
# publish on real installers: each release that would lock the clients out
# is refused with one sentence, and the feed stays byte for byte as it was,
# its installer downloadable; so does a publish whose copy fails. A release
# keeps the installer the previous feed named.
# Arguments: server old.run new.run new-without-authority.run certs-dir keys-dir
#            other-keys-dir port old-version new-version
set -euo pipefail
server=$1 old=$2 new=$3 noca=$4 certs=$5 keys=$6 other=$7 port=$8 v_old=$9 v_new=${10}
work=$(mktemp -d) && releases="$work/data/releases"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data/certs" && cp "$certs"/server.* "$work/data/certs/"
fail() { echo "FAIL: $*" >&2; exit 1; }
publish() { "$server" publish --data-dir "$work/data" --port "$port" --notes "Teszt" "$@"; }
publishes() { publish "$@" >/dev/null || fail "refused: $*"; }
signed=(--signing-key "$keys/release-signing.key")
# serves <version> <installer>: latest.json names the installer, with its digest.
serves() {
  grep -q "\"version\": \"$1\"" "$releases/latest.json" \
    && grep -q "$(sha256sum <"$2" | cut -d' ' -f1)" "$releases/latest.json" \
    && cmp -s "$releases/OrvantisClient-$1-setup.run" "$2" || fail "$1 is not served"
}
state() { ls -A "$releases" 2>&1; cat "$releases/latest.json" 2>&1; true; }
# refused <sentence> <publish arguments...>
refused() {
  local before said
  before=$(state)
  said=$(publish "${@:2}" 2>&1) && fail "published: ${*:2}"
  grep -qF "$1" <<<"$said" || fail "$said"
  [ "$(state)" = "$before" ] || fail "the release folder changed: $said"
}

refused 'accepts only releases signed' --version "$v_old" --installer "$old"
publishes --version "$v_old" --installer "$old" "${signed[@]}" && serves "$v_old" "$old"
refused 'dotted numbers' --version "$v_new-rc1" --installer "$new" "${signed[@]}"
refused 'dotted numbers' --version "$v_new"$'\n' --installer "$new" "${signed[@]}"
refused 'dotted numbers' --version "$v_old.9999999999" --installer "$new" "${signed[@]}"
refused 'not newer' --version "$v_old" --installer "$old" "${signed[@]}"
refused 'latest.json is signed' --version "$v_new" --installer "$new"
refused 'holds version' --version "$v_new" --installer "$old" "${signed[@]}"
refused 'not at https://orvantis.example' --version "$v_new" --installer "$new" "${signed[@]}" \
  --public-origin https://orvantis.example
refused 'does not verify' --version "$v_new" --installer "$noca" "${signed[@]}"
refused 'another release key' --version "$v_new" --installer "$new" \
  --signing-key "$other/release-signing.key"
mkdir "$releases/OrvantisClient-$v_new-setup.run"
refused 'cannot copy' --version "$v_new" --installer "$new" "${signed[@]}"
serves "$v_old" "$old" && rmdir "$releases/OrvantisClient-$v_new-setup.run"

publishes --version "$v_new" --installer "$new" "${signed[@]}" && serves "$v_new" "$new"
cmp -s "$releases/OrvantisClient-$v_old-setup.run" "$old" || fail "the previous installer is gone"
publishes --version "$v_old" --installer "$old" "${signed[@]}" --withdraw
serves "$v_old" "$old" && [ -f "$releases/OrvantisClient-$v_new-setup.run" ] || fail "withdrawn"
echo PASS
