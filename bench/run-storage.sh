#!/usr/bin/env bash
# Our table engine side by side with SQLite, release build. Arguments go to
# the benchmark (e.g. --scale 0.1).
exec "$(dirname "${BASH_SOURCE[0]}")/run-beside-peer.sh" libsqlite3-dev bench_storage "$@"
