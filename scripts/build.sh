#!/usr/bin/env bash
# Configures (once) and builds into build/ (or $BUILD_DIR). Arguments go to
# the first configuration, except "--target NAME", which builds only NAME.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
target=()
if [ "${1:-}" = "--target" ]; then
  target=(--target "$2")
  shift 2
fi
if [ ! -f "$build_dir/build.ninja" ]; then
  cmake -S . -B "$build_dir" -G Ninja "$@"
fi
cmake --build "$build_dir" "${target[@]}"
