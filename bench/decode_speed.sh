#!/usr/bin/env bash
# Decoding speed of unquorlen on 64 MiB inputs of three shapes: a 2 MiB tar of
# /usr/include repeated, generated English-like text, and a Fibonacci word. Each input
# is compressed once (kept in the work directory for later runs); decoding is timed
# best of three, and the restored file is compared with the input.
#
#   bench/decode_speed.sh [build-dir] [size-MiB]     (defaults: build-dec, 64)
# Environment: BENCH_DIR (work directory, default /tmp/unquorlen-bench).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build-dec}" && pwd)"
mib="${2:-64}"
work="${BENCH_DIR:-/tmp/unquorlen-bench}"
bytes=$((mib * 1048576))
quorlen="$build/quorlen"
unquorlen="$build/unquorlen"
[ -x "$unquorlen" ] || unquorlen="$build/src/decoder/unquorlen"
for program in "$quorlen" "$unquorlen"; do
  [ -x "$program" ] || { echo "missing $program: build first" >&2; exit 1; }
done
mkdir -p "$work"

make_input() {
  local name="$1" file="$work/$1.$mib"
  [ -s "$file" ] && return
  case "$name" in
    tar)
      (cd / && tar --sort=name -cf - usr/include 2>/dev/null | head -c 2097152) >"$work/tar2m" || true
      while [ "$(stat -c%s "$file" 2>/dev/null || echo 0)" -lt "$bytes" ]; do cat "$work/tar2m" >>"$file"; done
      truncate -s "$bytes" "$file" ;;
    text)
      python3 - "$file" "$bytes" <<'PY'
import random, sys
random.seed(1)
words = [w.strip() for w in open('/usr/share/dict/words')] if __import__('os').path.exists('/usr/share/dict/words') else None
if not words:
    words = [''.join(random.choice('etaoinshrdlucmfwyp') for _ in range(random.randint(2, 9))) for _ in range(5000)]
import itertools
cumulative = list(itertools.accumulate(1.0 / (i + 1) for i in range(len(words))))
out, size = [], 0
target = int(sys.argv[2])
while size < target:
    line = ' '.join(random.choices(words, cum_weights=cumulative, k=12)) + '.\n'
    out.append(line)
    size += len(line)
open(sys.argv[1], 'w').write(''.join(out)[:target])
PY
      ;;
    fibonacci)
      python3 - "$file" "$bytes" <<'PY'
import sys
a, b = 'a', 'ab'
while len(b) < int(sys.argv[2]):
    a, b = b, b + a
open(sys.argv[1], 'w').write(b[:int(sys.argv[2])])
PY
      ;;
  esac
}

printf '%-10s %12s %12s %10s %10s\n' input bytes compressed seconds MB/s
for name in tar text fibonacci; do
  make_input "$name"
  input="$work/$name.$mib"
  stream="$input.q"
  [ -s "$stream" ] && [ "$stream" -nt "$quorlen" ] || "$quorlen" "$input" "$stream" >/dev/null
  best=""
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    "$unquorlen" "$stream" "$work/restored"
    end=$(date +%s.%N)
    elapsed=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$elapsed < $best" | bc -l)" = 1 ]; then best="$elapsed"; fi
  done
  cmp -s "$input" "$work/restored" || { echo "$name: restored file differs" >&2; exit 1; }
  rm -f "$work/restored"
  printf '%-10s %12d %12d %10.3f %10.1f\n' "$name" "$(stat -c%s "$input")" "$(stat -c%s "$stream")" "$best" \
    "$(echo "$(stat -c%s "$input") / $best / 1000000" | bc -l)"
done
