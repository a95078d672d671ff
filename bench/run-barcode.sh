#!/usr/bin/env bash
# Bar codes beside libzint, release build.
exec "$(dirname "${BASH_SOURCE[0]}")/run-beside-peer.sh" libzint-dev bench_barcode "$@"
