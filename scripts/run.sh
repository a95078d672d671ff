#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the program. The
# program's windows do not exist yet: until they do, this runs the test suite,
# which is all of the system that can run so far.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
program="${BUILD_DIR:-build}/app/orvelle"
if [ -x "$program" ]; then
  exec "$program" "$@"
fi
echo "The Orvelle program itself is not built yet; running what exists: the test suite."
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
