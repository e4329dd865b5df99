#!/bin/sh
# The installer script into folders with awkward names, under umask 077 and
# without HOME: the desktop entry must validate and start the installed binary
# (through GLib's launcher), folders and files get their modes, and a link
# planted where a temporary file used to go is neither written through nor
# removed by a second installation. A failing installation keeps the earlier
# one and removes only the files it made.
# Argument: the source folder
set -eu
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
stage=$work/stage && mkdir "$stage" && echo 9.9 >"$stage/VERSION"
cp "$1/tools/installer/install.sh" "$1/assets/orvantisicon.svg" "$stage/" && echo victim >"$work/victim"
printf '#!/bin/sh\n[ "$*" = --version ] && echo 9.9 || printf %%s. "$0" >"$MARK"\n' >"$stage/OrvantisClient"
export MARK="$work/mark" XDG_DATA_HOME="$work/share" && apps=$work/share/applications entry=$apps/orvantis-client.desktop
fail() { printf 'FAIL (%s): %s\n' "$name" "$*" >&2; exit 1; }
install() { (umask 077 && env -u HOME sh "$stage/install.sh" /SP- "/DIR=$dir"); }
chmod 755 "$stage/OrvantisClient" && for name in 'a b' 'a&b|c;d' '100%' 'q"uote' 'd$HOME' \
  'back`tick`' 'back\slash\\' 'ends in a line break
'; do
  dir=$work/$name
  install && ln -s "$work/victim" "$dir/.OrvantisClient.new" && install || fail "not installed"
  [ "$name" != 100% ] || ln -s "$work/100%" "$work/100%%" # GLib looks for the program before undoing %%
  desktop-file-validate "$entry" && rm -f "$MARK" && gio launch "$entry" || fail "invalid entry"
  for _ in $(seq 100); do [ -s "$MARK" ] && break; sleep 0.05; done
  [ "$(cat "$MARK")" = "$dir/OrvantisClient." ] || fail "started $(cat "$MARK")"
  [ "$(cd "$dir" && stat -c %a . OrvantisClient orvantisicon.svg install.log .OrvantisClient.new "$apps" "$entry"
    cat "$work/victim")" = "$(printf '%s\n' 755 755 644 644 777 755 644 victim)" ] || fail "modes or planted link"
done
name=failure && rm -r "$apps" && touch "$apps" && ! install && [ "$(ls -A "$dir" | wc -l)" = 4 ] \
  && "$dir/OrvantisClient" --version >/dev/null || fail "it left files or broke the earlier installation"
