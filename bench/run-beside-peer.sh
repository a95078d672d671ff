#!/usr/bin/env bash
# Builds one benchmark in release mode and runs it beside its peer:
#   bench/run-beside-peer.sh <peer's Debian package> <target> [arguments for the benchmark...]
# The peer's development package is installed when missing; nothing else in
# the build needs it.
set -euo pipefail
package="$1"
target="$2"
shift 2
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/deps.sh"
if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "$package"
fi
build="$root/build-bench-release"
log="$build/$target-build.log"
mkdir -p "$build"
if ! { cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$build" --target "$target"; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  exit 1
fi
exec "$build/bench/$target" "$@"
