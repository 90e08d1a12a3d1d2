#!/usr/bin/env bash
# Every picture a guide shows can still be made: for each docs/images/VIEW.png that the guide
# names, the host's --screenshot-view VIEW writes a PNG of a sane size, under Qt's offscreen
# platform, on a demo database of its own.
set -euo pipefail
host="${1:?usage: docs_images_test.sh HOST_EXE GUIDE}"
guide="${2:?usage: docs_images_test.sh HOST_EXE GUIDE}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY VOR17000_TOKEN
fail() { echo "docs_images_test: $*" >&2; exit 1; }

views="$(sed -n 's/.*](images\/\([a-z]*\)\.png).*/\1/p' "$guide" | sort -u)"
[ "$(wc -w <<<"$views")" -ge 5 ] || fail "$guide shows fewer pictures than expected: $views"
for view in $views; do
  png="$work/$view.png"
  "$host" --screenshot "$png" --screenshot-view "$view" >"$work/out" 2>&1 ||
    fail "$view: the host failed: $(cat "$work/out")"
  [ -f "$png" ] || fail "$view: no picture"
  # The PNG signature, then IHDR's width and height (big-endian, bytes 16 to 23).
  [ "$(od -An -tx1 -N8 "$png" | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$view: not a PNG"
  read -r w1 w2 w3 w4 h1 h2 h3 h4 < <(od -An -tu1 -j16 -N8 "$png")
  width=$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4))
  height=$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))
  ((width >= 200 && width <= 4000 && height >= 60 && height <= 4000)) || fail "$view: ${width}x$height"
  # A blank picture compresses to almost nothing.
  (($(stat -c %s "$png") > 4000)) || fail "$view: $(stat -c %s "$png") bytes, nothing drawn"
  echo "docs_images_test: $view ${width}x$height"
done
# A view the host does not know is refused, not drawn as the default one.
if "$host" --screenshot "$work/x.png" --screenshot-view nenhuma >/dev/null 2>&1; then fail "an unknown view was taken"; fi
[ ! -e "$work/x.png" ] || fail "an unknown view left a picture"
