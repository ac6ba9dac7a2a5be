#!/usr/bin/env bash
# Builds everything with assertions on and warnings as errors, then runs the whole
# suite. Every other build defines NDEBUG, so this is where the asserts run.
# Usage: bash tests/ci/asserts.sh [build-dir]   (default build-asserts; CI_JOBS sets -j)
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build-asserts}"
jobs="${CI_JOBS:-2}"

# RelWithDebInfo without its -DNDEBUG: optimised, so the suite runs at a usable speed,
# with every assert compiled in.
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g" \
  -DCMAKE_CXX_FLAGS="-Werror"
cmake --build "$build" -j"$jobs"
ctest --test-dir "$build" --output-on-failure -j"$jobs"
