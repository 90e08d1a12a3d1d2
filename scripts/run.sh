#!/usr/bin/env bash
# Installs what is missing, builds, and runs the host with the issue-date screen.
# Without input of its own it plays examples/demo.txt in the headless host.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh >/dev/null
if [ -t 0 ]; then
  exec build/bin/vor17000-host --headless "$@" < examples/demo.txt
fi
exec build/bin/vor17000-host --headless "$@"
