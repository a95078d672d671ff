#!/usr/bin/env bash
# Builds the SQL benchmark in release mode and runs it: our SQL engine side by
# side with SQLite. Arguments go to the benchmark (e.g. --quick, --rows 100000).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/deps.sh"
if ! dpkg-query -W -f='${Status}' libsqlite3-dev 2>/dev/null | grep -q "ok installed"; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq libsqlite3-dev
fi
build="$root/build-bench-release"
log="$build/bench-sql-build.log"
mkdir -p "$build"
if ! { cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$build" --target bench_sql; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  exit 1
fi
exec "$build/bench/bench_sql" "$@"
