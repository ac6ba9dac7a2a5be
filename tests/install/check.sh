#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, then builds a consumer of the
# library with CMake's package and with pkg-config, and round-trips a file with each
# and with the installed programs.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
sample="$root/README.md"

cmake --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/share/man/man1/quorlen.1"
test -f "$prefix/share/man/man1/unquorlen.1"
"$prefix/bin/quorlen" "$sample" "$work/sample.q" >/dev/null
"$prefix/bin/unquorlen" "$work/sample.q" "$work/sample.out"
cmp "$sample" "$work/sample.out"

cmake -S "$root/tests/install" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer" "$sample"

PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --exists quorlen
# shellcheck disable=SC2046
c++ -std=c++20 "$root/tests/install/consumer.cpp" -o "$work/consumer-pc" \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs quorlen)
"$work/consumer-pc" "$sample"
echo "install check passed"
