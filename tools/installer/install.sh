#!/bin/sh
# Installs the Orvantis client from the unpacked installer (this folder).
# It takes the switches the client's updater passes (/VERYSILENT
# /SUPPRESSMSGBOXES /NORESTART /SP- /DIR=<folder>) and ignores any other.
# Without /DIR= it installs for the current user into
# ~/.local/opt/orvantis-client. Each file is first written to a new file of
# its own beside its target, and only when all are complete are they renamed
# over their targets, so a running or earlier installation stays runnable if
# anything fails; on failure only those new files are removed. A log goes to
# <folder>/install.log. Any folder name works: paths are never put into the
# text of a program, and the desktop entry escapes them as its format says.
set -u
umask 022
unset CDPATH
nl='
'
tab=$(printf '\t')
cr=$(printf '\r')

fail_early() { printf 'Orvantis installer: %s\n' "$*" >&2; exit 1; }

# Sets `resolved` to the absolute, link-free form of the folder $1. The dot
# keeps line breaks at the end of its name, which command substitution strips.
resolve() {
  resolved=$(cd -P -- "$1" && pwd -P && echo .) && resolved=${resolved%??}
}

dir=
for arg in "$@"; do
  case $arg in
    /DIR=*) dir=${arg#/DIR=} ;;
  esac
done
if [ -z "$dir" ]; then
  [ -n "${HOME:-}" ] || fail_early "HOME is not set: give the folder with /DIR=<folder>."
  dir=$HOME/.local/opt/orvantis-client
fi
# The desktop entry goes where the desktop looks for the user's entries;
# without XDG_DATA_HOME or HOME there is no such place, and none is written.
case ${XDG_DATA_HOME:-} in
  /*) apps=$XDG_DATA_HOME/applications ;;
  *) apps=${HOME:+$HOME/.local/share/applications} ;;
esac

resolve "$(dirname -- "$0")" || fail_early "cannot enter the installer's own folder."
here=$resolved
mkdir -p -- "$dir" && resolve "$dir" || fail_early "cannot create or enter $dir"
dir=$resolved
log=$dir/install.log
new_bin='' new_icon='' new_entry=''
say() { printf '%s %s\n' "$(date '+%Y-%m-%d %H:%M:%S')" "$*" >>"$log"; }
fail() {
  say "FAILED: $*"
  rm -f -- ${new_bin:+"$new_bin"} ${new_icon:+"$new_icon"} ${new_entry:+"$new_entry"}
  exit 1
}
trap 'fail "interrupted"' HUP INT TERM

# $1 as a value of the desktop entry format. With $2 = exec it is one quoted
# argument of Exec=: inside the quotes ", `, $ and \ take a backslash and % is
# doubled. Then, for any value, the format's own escapes (\\ \n \t \r).
desktop_value() {
  rest=$1 out=
  while [ -n "$rest" ]; do
    c=${rest%"${rest#?}"} rest=${rest#?}
    case ${2:-}$c in
      exec[\"\`\$]) c=\\\\$c ;;
      exec\\) c=\\\\\\\\ ;;
      exec%) c=%% ;;
      *\\) c=\\\\ ;;
      *"$nl") c=\\n ;;
      *"$tab") c=\\t ;;
      *"$cr") c=\\r ;;
    esac
    out=$out$c
  done
  printf %s "$out"
}

desktop_entry() {
  printf '%s\n' '[Desktop Entry]' 'Type=Application' 'Name=Orvantis' \
    'GenericName=Vegyület-adatbázis' 'Comment=Vegyületek keresése és kezelése' \
    "Exec=\"$(desktop_value "$dir/OrvantisClient" exec)\"" \
    "Icon=$(desktop_value "$dir/orvantisicon.svg")" 'Terminal=false' \
    'Categories=Science;Chemistry;' "X-Orvantis-Version=$version"
}

# A new file for $2 in the folder $1, made by mktemp: never an existing file,
# nor what a link planted there points to. Its path goes to `made`.
new_file() { made=$(mktemp "$1/.$2.XXXXXX"); }

version=$(cat "$here/VERSION") || fail "the installer holds no VERSION"
say "Installing Orvantis client $version into $dir (arguments: $*)"
# The new binary must run here before anything is replaced.
[ "$("$here/OrvantisClient" --version)" = "$version" ] || fail "the packed client does not run"

new_file "$dir" OrvantisClient && new_bin=$made || fail "cannot write into $dir"
cat "$here/OrvantisClient" >"$new_bin" && chmod 755 "$new_bin" || fail "cannot write $new_bin"
new_file "$dir" orvantisicon.svg && new_icon=$made || fail "cannot write into $dir"
cat "$here/orvantisicon.svg" >"$new_icon" && chmod 644 "$new_icon" || fail "cannot write $new_icon"
if [ -n "$apps" ]; then
  mkdir -p -- "$apps" || fail "cannot create $apps"
  new_file "$apps" orvantis-client.desktop && new_entry=$made || fail "cannot write into $apps"
  desktop_entry >"$new_entry" && chmod 644 "$new_entry" || fail "cannot write $new_entry"
fi

# -T: a folder in the target's place is an error, not a place to move into.
mv -fT -- "$new_bin" "$dir/OrvantisClient" && new_bin= || fail "cannot replace $dir/OrvantisClient"
mv -fT -- "$new_icon" "$dir/orvantisicon.svg" && new_icon= || fail "cannot replace the icon"
if [ -n "$apps" ]; then
  mv -fT -- "$new_entry" "$apps/orvantis-client.desktop" && new_entry= \
    || fail "cannot replace $apps/orvantis-client.desktop"
  say "Done: $dir/OrvantisClient, $apps/orvantis-client.desktop"
else
  say "Done: $dir/OrvantisClient (no desktop entry: neither XDG_DATA_HOME nor HOME is set)"
fi
