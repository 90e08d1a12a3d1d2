#!/usr/bin/env bash
# Unpacks the Debian packages in PACKAGE_DIR (no root needed) and runs what they hold, each
# against the libraries of its own package: the server answers GetSerieNF with the demo rows
# and stops cleanly on SIGTERM; the headless host opens the screen.
set -euo pipefail
packages="${1:?usage: package_test.sh PACKAGE_DIR}"
work="$(mktemp -d)"
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package_test: $*" >&2; exit 1; }
# Nothing may lead the programs to the build tree.
unset LD_LIBRARY_PATH VOR17000_MODULE VOR17000_TOKEN

unpack() {
  local matches=("$packages/$1"_*.deb)
  [ ${#matches[@]} -eq 1 ] && [ -f "${matches[0]}" ] || fail "expected one $1 package in $packages"
  dpkg-deb -x "${matches[0]}" "$work/$1"
}
unpack vor17000-server
unpack vor17000-host
server="$work/vor17000-server"
host="$work/vor17000-host"
for file in "$server/lib/systemd/system/vor17000-server.service" "$server/etc/vor17000/server.conf" \
  "$server/usr/share/vor17000-server/db/schema.sql" "$server/usr/share/vor17000-server/db/demo.sql" \
  "$host/usr/share/applications/vor17000-host.desktop" "$host/usr/share/icons/hicolor/scalable/apps/vor17000.svg" \
  "$host/usr/share/doc/vor17000-host/vor17000.html" "$host/usr/lib/vor17000-host/Pkg_Vor17000.so" \
  "$server/usr/share/man/man1/vor17000-server.1.gz" "$host/usr/share/man/man1/vor17000-host.1.gz"; do
  [ -f "$file" ] || fail "missing ${file#"$work"/}"
done

# A binary's library path is relative to itself and leads to its own package's copy of the library.
expect_library() {
  local binary="$1" name="$2" expected="$3" runpath line lib
  runpath="$(readelf -d "$binary" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')"
  case "$runpath" in '$ORIGIN'*) ;; *) fail "${binary#"$work"/}: library path '$runpath' is not relative" ;; esac
  line="$(ldd "$binary" | grep -F "$name" || true)"
  lib="$(sed -n "s/^\s*${name//./\\.} => \(\/\S*\) (.*/\1/p" <<<"$line")"
  [ -n "$lib" ] && [ "$(realpath "$lib")" = "$(realpath "$expected")" ] ||
    fail "${binary#"$work"/} does not load ${expected#"$work"/}: ${line:-no $name}"
}
expect_library "$server/usr/lib/vor17000-server/vor17000-server" libvorcore.so "$server/usr/lib/vor17000-server/libvorcore.so"
expect_library "$host/usr/lib/vor17000-host/vor17000-host" libhostlib.so "$host/usr/lib/vor17000-host/libhostlib.so"
expect_library "$host/usr/lib/vor17000-host/vor17000-host" libvorcore.so "$host/usr/lib/vor17000-host/libvorcore.so"
expect_library "$host/usr/lib/vor17000-host/Pkg_Vor17000.so" libhostlib.so "$host/usr/lib/vor17000-host/libhostlib.so"
# The server is built on the core alone.
if ldd "$server/usr/lib/vor17000-server/vor17000-server" | grep -qF libhostlib.so; then
  fail "the server loads the host library"
fi

# The server through its link in /usr/bin, on a fresh demo database and a free port it reports.
"$server/usr/bin/vor17000-server" --db "sqlite:$work/demo.db" --demo-data --listen 127.0.0.1:0 \
  2>"$work/server.log" &
server_pid=$!
port=""
for _ in $(seq 100); do
  port="$(sed -n 's/.* em 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$work/server.log")"
  [ -n "$port" ] && break
  kill -0 "$server_pid" 2>/dev/null || fail "server exited: $(cat "$work/server.log")"
  sleep 0.1
done
[ -n "$port" ] || fail "server did not start: $(cat "$work/server.log")"
answer="$(curl -sS --max-time 10 -H "Content-Type: application/json" \
  -d '{"jsonrpc":"2.0","id":1,"method":"GetSerieNF","params":["01","110042490114","","","T"]}' \
  "http://127.0.0.1:$port/rpc/VOR17000.rdmDataEmissao")"
for row in '["1","NF-e série 1","CTRL01","2023-12-31T00:00:00","S","N","N"]' \
  '["9","Sem controle",null,null,"S","N","N"]' '["N","Sem consistência","CTRL09","2024-01-10T00:00:00","N","N","N"]'; do
  grep -qF "$row" <<<"$answer" || fail "GetSerieNF lacks the row $row: $answer"
done
rows=$(($(grep -oF '],["' <<<"$answer" | wc -l) + 1))
[ "$rows" -eq 12 ] || fail "GetSerieNF gave $rows rows, the demo data has 12: $answer"
kill -TERM "$server_pid"
status=0
wait "$server_pid" || status=$?
server_pid=""
[ "$status" -eq 0 ] || fail "server ended with $status on SIGTERM: $(cat "$work/server.log")"

# The headless host through its link in /usr/bin, with the module beside the real file, on a
# demo database of its own (an SQLite file named with --db must exist).
state="$(printf 'open\nstate\n' | XDG_DATA_HOME="$work/data" "$host/usr/bin/vor17000-host" --headless)"
grep -q '^{"open":true,' <<<"$state" || fail "the host did not open the screen: $state"
echo "package_test: both packages run from their unpacked files"
