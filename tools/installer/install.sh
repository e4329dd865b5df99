#!/bin/sh
# Installs the Orvantis client from the unpacked installer (this folder).
# It takes the switches the client's updater passes (/VERYSILENT
# /SUPPRESSMSGBOXES /NORESTART /SP- /DIR=<folder>) and ignores any other.
# Without /DIR= it installs for the current user into
# ~/.local/opt/orvantis-client. Every file is first written beside its
# target and then renamed over it, so a running or earlier installation stays
# runnable until the new one is complete. A log goes to <folder>/install.log.
set -u
here=$(cd "$(dirname "$0")" && pwd)
dir="$HOME/.local/opt/orvantis-client"
for arg in "$@"; do
  case "$arg" in
    /DIR=*) dir=${arg#/DIR=} ;;
  esac
done
apps="${XDG_DATA_HOME:-$HOME/.local/share}/applications"

mkdir -p "$dir" || { echo "Cannot create $dir" >&2; exit 1; }
dir=$(cd "$dir" && pwd)
log="$dir/install.log"
say() { printf '%s %s\n' "$(date '+%Y-%m-%d %H:%M:%S')" "$*" >>"$log"; }
fail() { say "FAILED: $*"; rm -f "$dir"/.*.new "$apps"/.orvantis-client.desktop.new; exit 1; }

version=$(cat "$here/VERSION")
say "Installing Orvantis client $version into $dir (arguments: $*)"

# Writes a file beside its target, then renames it into place.
put() { # source target mode
  tmp="$(dirname "$2")/.$(basename "$2").new"
  cp "$1" "$tmp" && chmod "$3" "$tmp" || fail "cannot write $tmp"
  mv -f "$tmp" "$2" || fail "cannot replace $2"
}

# The new binary must run here before anything is replaced.
[ "$("$here/OrvantisClient" --version)" = "$version" ] || fail "the packed client does not run"
put "$here/orvantisicon.svg" "$dir/orvantisicon.svg" 644
put "$here/OrvantisClient" "$dir/OrvantisClient" 755

mkdir -p "$apps" || fail "cannot create $apps"
sed -e "s|@BIN@|$dir/OrvantisClient|" -e "s|@ICON@|$dir/orvantisicon.svg|" \
  -e "s|@VERSION@|$version|" "$here/orvantis-client.desktop.in" >"$here/orvantis-client.desktop" \
  || fail "cannot write the desktop entry"
put "$here/orvantis-client.desktop" "$apps/orvantis-client.desktop" 644
say "Done: $dir/OrvantisClient, $apps/orvantis-client.desktop"
