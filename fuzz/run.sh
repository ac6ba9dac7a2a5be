#!/usr/bin/env bash
# Builds both fuzz targets with clang, libFuzzer, ASan and UBSan, and runs each for
# the given number of seconds (default 60). Exits non-zero on any crash, leak,
# sanitizer report or round-trip mismatch. Found inputs go to a scratch directory;
# the seed corpora in fuzz/corpus stay as they are.
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
jobs="${FUZZ_BUILD_JOBS:-2}"

cmake -S "$root/fuzz" -B "$build" \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
  >/dev/null
cmake --build "$build" --target decode_fuzzer roundtrip_fuzzer -j"$jobs"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/decode" "$scratch/roundtrip"

export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
status=0
echo "== decode_fuzzer for ${seconds}s"
"$build/decode_fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=20 -rss_limit_mb=2048 \
  -artifact_prefix="$scratch/" "$scratch/decode" "$root/fuzz/corpus/decode" || status=1
echo "== roundtrip_fuzzer for ${seconds}s"
# The encoder is slow on long inputs full of distinct pairs, so inputs stay short.
"$build/roundtrip_fuzzer" -max_total_time="$seconds" -max_len=2048 -timeout=30 -rss_limit_mb=2048 \
  -artifact_prefix="$scratch/" "$scratch/roundtrip" "$root/fuzz/corpus/roundtrip" || status=1

if [ "$status" -ne 0 ]; then
  mkdir -p "$build/artifacts"
  cp "$scratch"/crash-* "$scratch"/leak-* "$scratch"/timeout-* "$scratch"/oom-* "$build/artifacts/" 2>/dev/null || true
  echo "fuzzing found a failure; inputs kept in $build/artifacts/" >&2
fi
exit "$status"
