#!/bin/sh
# The program itself watching a private cupsd (bench_program): its cost as
# the number of queues grows, and its memory over many jobs. Needs cups and
# a release build: BUILD (default build-release) holds bench/bench_program
# and app/orvelle.
set -e
BUILD=${BUILD:-build-release}
cmake -S "$(dirname "$0")/.." -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$BUILD" -j4 bench_program orvelle
for queues in 10 100 500 2000; do
  "$BUILD/bench/bench_program" scale "$queues" 30 20
done
"$BUILD/bench/bench_program" memory 20000 4
