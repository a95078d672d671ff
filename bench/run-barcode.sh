#!/usr/bin/env bash
# Bar codes beside libzint, release build. Zint's development package is
# installed when missing; only this benchmark uses it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/deps.sh"
if ! dpkg-query -W -f='${Status}' libzint-dev 2>/dev/null | grep -q "ok installed"; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq libzint-dev
fi
build="$root/build-bench-release"
log="$build/bench_barcode-build.log"
mkdir -p "$build"
if ! { cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$build" --target bench_barcode --parallel 4; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  exit 1
fi
exec "$build/bench/bench_barcode" "$@"
