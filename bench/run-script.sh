#!/usr/bin/env bash
# The report scripting language beside Lua 5.4, release build.
exec "$(dirname "${BASH_SOURCE[0]}")/run-beside-peer.sh" liblua5.4-dev bench_script "$@"
