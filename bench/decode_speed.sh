#!/usr/bin/env bash
# Restore speed of unquorlen against zstd -d, side by side. Each input is compressed once
# by quorlen and by zstd -19 (kept in the work directory for later runs); then the two
# restorers run in turn, unquorlen then zstd -d, both writing to $OUT, so that the
# machine's drift hits both alike. Prints the median of each and the median of the
# pair-by-pair ratios, unquorlen's peak RSS, and checks that unquorlen restores the input.
#
#   bench/decode_speed.sh [build-dir] [file ...]        (default build-dir: build)
# Inputs: h64 (the first 64 MiB of a name-sorted tar of /usr/include) and so8 (8 MiB of
# shared libraries), built as bench/run.sh builds them, a generated English-like text and
# a Fibonacci word of 64 MiB, then any files named.
# A versioned collection (bench/collection.sh builds one) is measured by naming it.
# Environment: BENCH_DIR (work directory, default /tmp/unquorlen-bench), RUNS (pairs, default 5),
# OUT (where both restorers write, default /dev/null; a path on /dev/shm times writing a file).
set -euo pipefail
export LC_ALL=C

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
shift || true
work="${BENCH_DIR:-/tmp/unquorlen-bench}"
runs="${RUNS:-5}"
out="${OUT:-/dev/null}"
quorlen="$build/quorlen"
unquorlen="$build/unquorlen"
for program in "$quorlen" "$unquorlen"; do
  [ -x "$program" ] || { echo "missing $program: build first" >&2; exit 1; }
done
command -v zstd >/dev/null || { echo "zstd is needed for the comparison" >&2; exit 1; }
mkdir -p "$work"
mib=1048576

make_input() {
  local file="$work/$1"
  [ -s "$file" ] && return
  echo "building input $1" >&2
  case "$1" in
    h64)
      (cd / && find usr/include -type f | sort) >"$work/headers.list"
      (set +o pipefail; cd / && tar --no-recursion --owner=0 --group=0 --numeric-owner \
        --mtime=@0 -cf - -T "$work/headers.list" 2>/dev/null | head -c $((64 * mib))) >"$file.tmp" ;;
    so8)
      (set +o pipefail; find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name '*.so*' |
        sort | xargs -d '\n' cat 2>/dev/null | head -c $((8 * mib))) >"$file.tmp" ;;
    text)
      python3 - "$file.tmp" $((64 * mib)) <<'PY'
import itertools, random, sys
random.seed(1)
words = [''.join(random.choice('etaoinshrdlucmfwyp') for _ in range(random.randint(2, 9))) for _ in range(5000)]
cumulative = list(itertools.accumulate(1.0 / (i + 1) for i in range(len(words))))
out, size, target = [], 0, int(sys.argv[2])
while size < target:
    line = ' '.join(random.choices(words, cum_weights=cumulative, k=12)) + '.\n'
    out.append(line)
    size += len(line)
open(sys.argv[1], 'w').write(''.join(out)[:target])
PY
      ;;
    fibonacci)
      python3 - "$file.tmp" $((64 * mib)) <<'PY'
import sys
a, b = 'a', 'ab'
while len(b) < int(sys.argv[2]):
    a, b = b, b + a
open(sys.argv[1], 'w').write(b[:int(sys.argv[2])])
PY
      ;;
  esac
  mv "$file.tmp" "$file"
}

# Seconds of one run of "$@", output thrown away.
seconds() {
  local t0=$EPOCHREALTIME
  "$@" >/dev/null
  awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f\n", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

inputs=(h64 so8 text fibonacci)
for name in "${inputs[@]}"; do make_input "$name"; done
files=()
for name in "${inputs[@]}"; do files+=("$work/$name"); done
files+=("$@")

printf '%-12s %11s %11s %11s %9s %9s %7s %9s\n' input bytes quorlen zstd-19 unquorlen 'zstd -d' ratio 'peak MiB'
for input in "${files[@]}"; do
  name=$(basename "$input")
  stream="$work/$name.q" zst="$work/$name.zst"
  if ! { [ -s "$stream" ] && [ "$stream" -nt "$quorlen" ] && [ "$stream" -nt "$input" ]; }; then
    "$quorlen" "$input" "$stream" >/dev/null
  fi
  if ! { [ -s "$zst" ] && [ "$zst" -nt "$input" ]; }; then
    zstd -19 -q -f --single-thread "$input" -o "$zst"
  fi
  "$unquorlen" "$stream" "$work/restored"
  cmp -s "$input" "$work/restored" || { echo "$name: restored file differs" >&2; exit 1; }
  rm -f "$work/restored"
  ours=() theirs=() ratios=()
  for ((run = 0; run < runs; run++)); do
    a=$(seconds "$unquorlen" "$stream" "$out")
    b=$(seconds zstd -d -q -f "$zst" -o "$out")
    ours+=("$a") theirs+=("$b") ratios+=("$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f", a / b }')")
  done
  peak=$(/usr/bin/time -v "$unquorlen" "$stream" "$out" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ { printf "%.1f", $2 / 1024 }')
  printf '%-12s %11d %11d %11d %9.3f %9.3f %7.2f %9s\n' "$name" "$(stat -L -c%s "$input")" "$(stat -c%s "$stream")" \
    "$(stat -c%s "$zst")" "$(printf '%s\n' "${ours[@]}" | median)" "$(printf '%s\n' "${theirs[@]}" | median)" \
    "$(printf '%s\n' "${ratios[@]}" | median)" "$peak"
done
[ "$out" = /dev/null ] || rm -f "$out"
echo "Seconds are medians of $runs runs each, taken in turn, writing to $out; ratio is the median of unquorlen / zstd -d per pair."
