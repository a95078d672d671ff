#!/usr/bin/env bash
# Our SQL engine side by side with SQLite, release build. Arguments go to the
# benchmark (e.g. --quick, --rows 100000).
exec "$(dirname "${BASH_SOURCE[0]}")/run-beside-peer.sh" libsqlite3-dev bench_sql "$@"
