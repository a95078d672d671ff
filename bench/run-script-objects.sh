#!/usr/bin/env bash
# Report script handlers beside Lua 5.4 handlers on the same report, release build.
exec "$(dirname "${BASH_SOURCE[0]}")/run-beside-peer.sh" liblua5.4-dev bench_script_objects "$@"
