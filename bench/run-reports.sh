#!/usr/bin/env bash
# The usage reports from "Run" to their first and last pages beside SQLite,
# release build. Arguments go to the benchmark (e.g. --rows 100000).
exec "$(dirname "${BASH_SOURCE[0]}")/run-beside-peer.sh" libsqlite3-dev bench_reports "$@"
