#!/usr/bin/env bash
# Runs a test program on a private X server (Xvfb, no TCP listener) with a
# window manager (openbox); both stop when the test ends.
set -u
for tool in Xvfb openbox xprop; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool is not installed: run tools/install_packages.sh" >&2
    exit 1
  fi
done

work=$(mktemp -d)
xvfb=""
wm=""
stop() {
  [[ -n "$wm" ]] && kill "$wm" 2>/dev/null && wait "$wm" 2>/dev/null
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap stop EXIT

# Xvfb picks a free display and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
  [[ -s "$work/display" ]] && break
  sleep 0.05
done
if [[ ! -s "$work/display" ]]; then
  echo "Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

HOME="$work" openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
# Windows mapped before the window manager has taken the screen stay
# undecorated: wait until openbox announces itself on the root window.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.05
done

QT_QPA_PLATFORM=xcb "$@"
