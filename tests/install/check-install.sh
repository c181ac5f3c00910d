#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks it as a desktop would see it: the
# menu entry validates, the file types are known after update-mime-database and tell our
# levels from game levels by their first bytes, the icon renders, the man page renders and
# the shell completion loads.
# Usage: check-install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/vantrell-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "FAIL: $*" >&2; exit 1; }

unset DESTDIR
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "cmake --install"; }
for f in bin/vantrell share/applications/vantrell.desktop share/mime/packages/vantrell.xml \
         share/icons/hicolor/scalable/apps/vantrell.svg share/man/man1/vantrell.1 \
         share/bash-completion/completions/vantrell; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
[ -x "$prefix/bin/vantrell" ] || fail "the installed program is not executable"
[ -f "$prefix/share/mime/mime.cache" ] || fail "cmake --install did not update the prefix's MIME database"
# Read whole: with pipefail, a reader that stops early would fail the program with SIGPIPE.
help=$("$prefix/bin/vantrell" --help) || fail "--help fails"
grep -q '^Usage: vantrell ' <<<"$help" || fail "--help does not name vantrell"
echo "ok: installed into $prefix"

desktop=$prefix/share/applications/vantrell.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx 'Exec=vantrell %f' "$desktop" || fail "Exec is not 'vantrell %f'"
echo "ok: the desktop entry validates"

# Only the prefix's data, and no desktop environment's own tools, decide.
mkdir -p "$work/home"
export XDG_DATA_DIRS=$prefix/share XDG_DATA_HOME=$work/home
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID

update-mime-database "$prefix/share/mime" || fail "update-mime-database"
# Every type the menu entry lists is one the database now knows.
types=$(sed -n 's/^MimeType=//p' "$desktop" | tr ';' ' ')
[ -n "$types" ] || fail "the desktop entry lists no MIME type"
for t in $types; do
  [ -f "$prefix/share/mime/$t.xml" ] || fail "the desktop entry lists $t, which the database does not know"
done
filetype() { xdg-mime query filetype "$1"; }

# Both kinds of level end in .bsp: the first bytes decide.
cp "$source/examples/two-rooms.bsp" "$work/ours.bsp"
printf 'IBSP\056\000\000\000' >"$work/game.bsp"
head -c 144 /dev/zero >>"$work/game.bsp"
printf 'IBSP\057\000\000\000' >"$work/other-version.bsp"
printf 'PK\003\004' >"$work/maps.pk3"
head -c 60 /dev/zero >>"$work/maps.pk3"
check_type() {
  local found
  found=$(filetype "$1") || fail "xdg-mime query filetype $1"
  [ "$found" = "$2" ] || fail "$(basename "$1") is $found, expected $2"
  echo "ok: $(basename "$1") is $2"
}
check_type "$work/ours.bsp" application/x-vantrell-level
check_type "$work/game.bsp" application/x-ibsp-level
check_type "$work/maps.pk3" application/x-pk3
# A game level of another version is not one we open.
found=$(filetype "$work/other-version.bsp") || true
[ "$found" != application/x-ibsp-level ] || fail "an IBSP file of version 47 counts as a game level"
if [ -f /usr/share/games/openarena/baseoa/pak6-patch088.pk3 ] && command -v unzip >/dev/null; then
  unzip -p /usr/share/games/openarena/baseoa/pak6-patch088.pk3 maps/oa_thor.bsp >"$work/oa_thor.bsp"
  check_type "$work/oa_thor.bsp" application/x-ibsp-level
fi

rsvg-convert -w 48 -h 48 "$prefix/share/icons/hicolor/scalable/apps/vantrell.svg" -o "$work/icon.png" ||
  fail "the icon does not render"
echo "ok: the icon renders"

man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$prefix/share/man/man1/vantrell.1" 2>&1 >"$work/man.txt")
[ -z "$man_warnings" ] || fail "the man page has warnings: $man_warnings"
for section in NAME SYNOPSIS COMMANDS KEYS 'EXIT STATUS'; do
  grep -q "^$section" "$work/man.txt" || fail "the man page has no $section section"
done
echo "ok: the man page renders"

# The man page and the completion know every command and option that --help lists.
completion=$prefix/share/bash-completion/completions/vantrell
page=$prefix/share/man/man1/vantrell.1
# complete WORD...: what the completion offers for the last word.
complete_words() {
  bash -c '. "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _vantrell; printf "%s\n" "${COMPREPLY[@]}"' \
    _ "$completion" "$@"
}
commands=$("$prefix/bin/vantrell" --help | sed -n '/^Subcommands:/,$p' | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p')
[ -n "$commands" ] || fail "--help lists no command"
offered_commands=$(cd "$work" && complete_words vantrell "")
for c in $commands; do
  grep -q "^\.B vantrell $c\$" "$page" || fail "the man page's synopsis leaves out $c"
  grep -q "^\.BI \"$c " "$page" || fail "the man page does not describe $c"
  echo "$offered_commands" | grep -qx "$c" || fail "the completion does not offer $c"
  offered=$(complete_words vantrell "$c" --)
  for option in $("$prefix/bin/vantrell" "$c" --help | sed -n '/^Options:/,$p' | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
    grep -qF -- "$(echo "$option" | sed 's/-/\\-/g')" "$page" || [ "$option" = --help ] ||
      fail "the man page does not name $c $option"
    echo "$offered" | grep -qx -- "$option" || fail "the completion does not offer $c $option"
  done
done
echo "ok: the man page and the completion name every command and option"

bash -c ". '$completion' && complete -p vantrell" >/dev/null ||
  fail "the completion script does not load"
echo "ok: the completion script loads"
