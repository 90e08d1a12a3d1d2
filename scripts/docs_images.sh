#!/usr/bin/env bash
# Makes the pictures of the guides again, each with the host's own --screenshot, without a
# display and on a demo database of their own: docs/images/VIEW.png for every picture
# docs/clerk.md shows, and docs/screenshot.png (the README's) from the view "tela".
set -euo pipefail
cd "$(dirname "$0")/.."
host="${HOST_EXE:-build/bin/vor17000-host}"
[ -x "$host" ] || scripts/build.sh >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Nothing of this user's: a fresh demo database and fresh settings.
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY VOR17000_TOKEN
# The clerk the pictures show, in place of whoever runs this.
mkdir -p "$XDG_CONFIG_HOME/vor17000"
printf '[General]\nusuario=ana.souza\n' >"$XDG_CONFIG_HOME/vor17000/host.conf"

# Two stores by a clerk first, so that the history has rows to show.
"$host" --headless >"$work/stores.jsonl" <<'COMMANDS'
set Usuario ana.souza
set EmprProc 01
set IEstProc 110042490114
set IMunProc 4587123
set FiliProc 1
open
type 2
tab
click sbtConfirma
open
type 2
tab
clear
type 01032024
click sbtConfirma
events
COMMANDS
grep -q '"stored"' "$work/stores.jsonl" || { echo "docs_images: the stores failed: $(cat "$work/stores.jsonl")" >&2; exit 1; }

mkdir -p docs/images
for view in $(sed -n 's/.*](images\/\([a-z]*\)\.png).*/\1/p' docs/clerk.md | sort -u); do
  "$host" --screenshot "docs/images/$view.png" --screenshot-view "$view"
done
cp docs/images/tela.png docs/screenshot.png
