#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a user gets:
# the program folder, the command, the menu entry and the icon, and that the
# installed program starts, finds its converter and keeps state where told.
#
#   install_layout_test.sh <build dir>
set -euo pipefail

build=$(realpath "${1:?usage: install_layout_test.sh <build dir>}")
work=$(mktemp -d /tmp/yagura_install_XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log"

for f in lib/yagura/yagura lib/yagura/shoin/shoin bin/yagura; do
  [[ -x $prefix/$f ]] || fail "$f is missing or not executable"
done
for f in lib/yagura/ReadMe.txt lib/yagura/yagura.svg share/icons/hicolor/scalable/apps/yagura.svg \
  share/applications/yagura.desktop; do
  [[ -s $prefix/$f ]] || fail "$f is missing or empty"
done
[[ $(readlink -f "$prefix/bin/yagura") == "$prefix/lib/yagura/yagura" ]] ||
  fail "bin/yagura does not lead to the program folder"
grep -q '起動のしかた' "$prefix/lib/yagura/ReadMe.txt" || fail "ReadMe.txt is not the Japanese one"

desktop=$prefix/share/applications/yagura.desktop
grep -qx "Exec=\"$prefix/lib/yagura/yagura\"" "$desktop" || fail "Exec= does not name the installed program"
grep -qx 'Icon=yagura' "$desktop" || fail "Icon= is not the installed icon's name"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate refuses the menu entry"
else
  echo "note: desktop-file-validate is not installed; the menu entry was not validated"
fi
if command -v xmllint >/dev/null; then
  xmllint --noout "$prefix/lib/yagura/yagura.svg" || fail "the icon is not well-formed SVG"
fi

# The installed command, started as the menu would start it but without a
# display: --help, then a headless start with no board URL yet, which must
# end by itself saying what to set.
set +e
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY timeout 20 "$prefix/bin/yagura" --help) \
  >"$work/help.txt" 2>&1
status=$?
set -e
[[ $status == 0 ]] || fail "yagura --help exited with $status"
grep -q -- '--program-folder DIR' "$work/help.txt" || fail "--help does not list --program-folder"

set +e
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home" timeout 20 "$prefix/bin/yagura" --headless \
  --program-folder "$work/state" >"$work/out.txt" 2>"$work/err.txt"
status=$?
set -e
[[ $status == 2 ]] || fail "a start without a board URL exited with $status, not 2"
grep -q '^Yagura Version ' "$work/out.txt" || fail "the console does not start with the title"
grep -q 'SHOIN.EXE ○見つかりました' "$work/out.txt" || fail "the installed converter was not found"
grep -q 'set brdurl=' "$work/err.txt" || fail "the start did not say what to set"
[[ -f $work/state/yagura.ini ]] || fail "the settings were not created in --program-folder"
[[ ! -e $prefix/lib/yagura/yagura.ini ]] || fail "settings were written into the program folder"

if ((failures > 0)); then
  echo "--- install log" >&2
  cat "$work/install.log" >&2
  echo "--- console" >&2
  cat "$work/out.txt" "$work/err.txt" >&2
  exit 1
fi
echo "install layout: ok"
