#!/usr/bin/env bash
# Configures and builds the project with Ninja into build/ (or $BUILD_DIR), with the build
# type of $BUILD_TYPE (default RelWithDebInfo), also when the folder was configured before.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${BUILD_DIR:-build}"
build_type="${BUILD_TYPE:-RelWithDebInfo}"
configured_type=""
if [ -f "$build_dir/CMakeCache.txt" ]; then
  configured_type="$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build_dir/CMakeCache.txt")"
fi
if [ ! -f "$build_dir/build.ninja" ] || [ "$configured_type" != "$build_type" ]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" -DBUILD_TESTING=ON
fi
cmake --build "$build_dir"
