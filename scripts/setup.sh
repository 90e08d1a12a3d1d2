#!/usr/bin/env bash
# Installs the Debian packages this project needs, only those that are missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev openssl libssl-dev
  libgtest-dev
  libsoci-dev libboost-dev nlohmann-json3-dev libsqlite3-dev libpq-dev
  qt6-base-dev fonts-dejavu-core
  postgresql
  dpkg-dev curl procps
  haproxy
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} > 0)); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
