#!/usr/bin/env bash
# Installs what is missing, builds the program (not the tests) and starts it. On a
# desktop it opens its window; without a display it runs on Qt's offscreen
# platform, watches the configured CUPS server (CUPS_SERVER chooses
# another) and records until SIGINT or SIGTERM, which end it in order.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh --target orvelle
exec "${BUILD_DIR:-build}/app/orvelle" "$@"
