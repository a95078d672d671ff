#!/usr/bin/env bash
# Configures (once) and builds into build/ (or $BUILD_DIR); extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
if [ ! -f "$build_dir/build.ninja" ]; then
  cmake -S . -B "$build_dir" -G Ninja "$@"
fi
cmake --build "$build_dir"
