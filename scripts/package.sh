#!/usr/bin/env bash
# Installs what is missing, builds the programs (Release) into build-pkg/, makes the Debian
# packages vor17000-server and vor17000-host there with CPack, prints their paths and runs the
# package test on them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build_dir=build-pkg
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DVOR17000_PACKAGE_TEST=ON \
  >/dev/null
# Only what the packages hold; cpack builds nothing itself.
cmake --build "$build_dir" --target vor17000-server vor17000-host Pkg_Vor17000 hostlib
rm -rf "$build_dir/packages"
(cd "$build_dir" && cpack -G DEB >/dev/null)
for deb in "$build_dir"/packages/*.deb; do
  echo "package: $(realpath "$deb")"
done
ctest --test-dir "$build_dir" -R '^package_test$' --no-tests=error --output-on-failure
