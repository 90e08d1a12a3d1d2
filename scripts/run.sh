#!/usr/bin/env bash
# Installs what is missing, builds, and runs the host with the issue-date screen on the
# demo database: the desktop window where there is a display; otherwise a screenshot of it
# (build/vor17000.png) and the headless demo of examples/demo.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh >/dev/null
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/vor17000-host "$@"
fi
echo "Sem tela gráfica: gravando uma imagem da janela e rodando a demonstração sem interface."
build/bin/vor17000-host --screenshot build/vor17000.png "$@"
exec build/bin/vor17000-host --headless "$@" < examples/demo.txt
