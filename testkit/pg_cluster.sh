#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests, on a loopback port.
#   pg_cluster.sh start STATE_DIR [durable]
#                                   writes STATE_DIR/pg.env (VOR17000_TEST_PG=URL, PGDATA=...);
#                                   "durable" keeps fsync on (benchmarks), else it is off (tests)
#   pg_cluster.sh stop STATE_DIR    stops it and removes its files
#   pg_cluster.sh pause STATE_DIR   stops the server, keeping its data and port
#   pg_cluster.sh resume STATE_DIR  starts it again on the same port
#   pg_cluster.sh freeze STATE_DIR  stops its processes dead (SIGSTOP), connections left open
#   pg_cluster.sh thaw STATE_DIR    lets them go on (SIGCONT)
set -euo pipefail
action="$1"
state_dir="$2"
state_file="$state_dir/pg.env"

bin_dir="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
if [ -z "$bin_dir" ]; then
  echo "pg_cluster: no PostgreSQL server installed (run scripts/setup.sh)" >&2
  exit 1
fi

# The server refuses to run as root: run its tools as the postgres user then.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

stop_cluster() {
  [ -f "$state_file" ] || return 0
  # shellcheck disable=SC1090
  source "$state_file"
  # A cluster left frozen (a test that died before thawing it) cannot stop until it runs again.
  if [ -f "$PGDATA/postmaster.pid" ]; then
    postmaster="$(head -n 1 "$PGDATA/postmaster.pid")"
    kill -CONT "$postmaster" 2>/dev/null || true
    pkill -CONT -P "$postmaster" 2>/dev/null || true
  fi
  as_owner "$bin_dir/pg_ctl" -D "$PGDATA" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$(dirname "$PGDATA")"
  rm -f "$state_file"
}

case "$action" in
  start)
    mkdir -p "$state_dir"
    stop_cluster
    base="$(mktemp -d /tmp/vor17000-pg.XXXXXX)"
    chmod 755 "$base"
    [ "$(id -u)" -eq 0 ] && chown postgres "$base"
    data="$base/data"
    sync_setting="-c fsync=off"
    [ "${3:-}" = durable ] && sync_setting=""
    as_owner "$bin_dir/initdb" -D "$data" -U postgres -A trust --no-sync -E UTF8 --locale=C.UTF-8 >/dev/null
    # Below the ephemeral range (32768 and up), where a client's own local port could hold it.
    for port in $(seq 25432 25482); do
      if as_owner "$bin_dir/pg_ctl" -D "$data" -l "$base/server.log" -w -t 30 start \
          -o "-p $port -k $base -c listen_addresses=127.0.0.1 $sync_setting -c max_connections=200" >/dev/null 2>&1; then
        echo "$sync_setting" > "$base/sync_setting"
        printf 'VOR17000_TEST_PG=postgresql://postgres@127.0.0.1:%s/postgres\nPGDATA=%s\nPGPORT=%s\n' \
          "$port" "$data" "$port" > "$state_file"
        echo "pg_cluster: PostgreSQL on 127.0.0.1:$port"
        exit 0
      fi
    done
    echo "pg_cluster: could not start PostgreSQL; its log:" >&2
    cat "$base/server.log" >&2 || true
    rm -rf "$base"
    exit 1
    ;;
  stop)
    stop_cluster
    ;;
  pause)
    # shellcheck disable=SC1090
    source "$state_file"
    as_owner "$bin_dir/pg_ctl" -D "$PGDATA" -m fast -w stop >/dev/null
    ;;
  resume)
    # shellcheck disable=SC1090
    source "$state_file"
    base="$(dirname "$PGDATA")"
    as_owner "$bin_dir/pg_ctl" -D "$PGDATA" -l "$base/server.log" -w -t 30 start \
      -o "-p $PGPORT -k $base -c listen_addresses=127.0.0.1 $(cat "$base/sync_setting") -c max_connections=200" >/dev/null
    ;;
  freeze|thaw)
    # shellcheck disable=SC1090
    source "$state_file"
    postmaster="$(head -n 1 "$PGDATA/postmaster.pid")"
    signal=STOP
    [ "$action" = thaw ] && signal=CONT
    kill "-$signal" "$postmaster"
    pkill "-$signal" -P "$postmaster" || true
    ;;
  *)
    echo "usage: pg_cluster.sh start|stop|pause|resume|freeze|thaw STATE_DIR" >&2
    exit 2
    ;;
esac
