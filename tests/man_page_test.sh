#!/usr/bin/env bash
# The manual page of a program lists the options its --help lists, no more and no fewer: the
# options of its help text against the tags of the page's option entries (.TP).
set -euo pipefail
program="${1:?usage: man_page_test.sh PROGRAM MANUAL_PAGE}"
page="${2:?usage: man_page_test.sh PROGRAM MANUAL_PAGE}"
[ -f "$page" ] || { echo "man_page_test: no page $page" >&2; exit 1; }

help_text="$("$program" --help)"
from_help="$(grep -oE -- '--[a-z][a-z-]*' <<<"$help_text" | sort -u)"
# The line after each .TP is an entry's tag; roff writes a minus as \-.
from_page="$(awk 'tag { print; tag = 0 } /^\.TP/ { tag = 1 }' "$page" | sed 's/\\-/-/g' |
  grep -oE -- '--[a-z][a-z-]*' | sort -u)"
[ -n "$from_help" ] || { echo "man_page_test: $program --help lists no option" >&2; exit 1; }

missing="$(comm -23 <(echo "$from_help") <(echo "$from_page"))"
extra="$(comm -13 <(echo "$from_help") <(echo "$from_page"))"
status=0
if [ -n "$missing" ]; then
  echo "man_page_test: $(basename "$page") lacks what --help lists:" $missing >&2
  status=1
fi
if [ -n "$extra" ]; then
  echo "man_page_test: $(basename "$page") has what --help does not list:" $extra >&2
  status=1
fi
# The page must also be one man can read.
if command -v man >/dev/null && ! MANWIDTH=80 man -l "$page" >/dev/null 2>&1; then
  echo "man_page_test: man cannot read $page" >&2
  status=1
fi
[ "$status" -eq 0 ] && echo "man_page_test: $(basename "$page") and --help list the same $(wc -l <<<"$from_help") options"
exit "$status"
