#!/usr/bin/env bash
# Report script handlers beside Lua 5.4 handlers on the same report, release
# build. Lua's development package is installed when missing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/deps.sh"
if ! dpkg-query -W -f='${Status}' liblua5.4-dev 2>/dev/null | grep -q "ok installed"; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq liblua5.4-dev
fi
build="$root/build-bench-release"
log="$build/bench_script_objects-build.log"
mkdir -p "$build"
if ! { cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$build" --target bench_script_objects --parallel 4; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  exit 1
fi
exec "$build/bench/bench_script_objects" "$@"
