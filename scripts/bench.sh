#!/usr/bin/env bash
# Installs what is missing, builds, starts a throwaway PostgreSQL cluster, and prints the
# benchmark table for SQLite and PostgreSQL. Pass --quick for a short run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# A folder of its own, so that switching between the test and benchmark builds rebuilds nothing.
BUILD_DIR=build-release BUILD_TYPE=Release scripts/build.sh >/dev/null
state="$(mktemp -d)"
# Durable, as a real site runs it: the stores measured are commits that reach the disk.
testkit/pg_cluster.sh start "$state" durable >&2
trap 'testkit/pg_cluster.sh stop "$state" >&2; rm -rf "$state"' EXIT
# shellcheck disable=SC1091
source "$state/pg.env"
build-release/bin/vor17000-bench --postgres "$VOR17000_TEST_PG" "$@"
