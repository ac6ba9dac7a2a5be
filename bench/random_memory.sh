#!/usr/bin/env bash
# Peak resident memory of the compressor on pseudo-random bytes of several sizes, in
# KiB and in bytes per input byte (the goal: at most 10 at every size), with an
# optional second build measured right after it on each input.
#
# Usage: bench/random_memory.sh [--sizes "4 16 32"] [--vs OTHER-QUORLEN] [QUORLEN [WORKDIR]]
#   QUORLEN  the program to measure; default build/quorlen
#   WORKDIR  where the inputs r4, r16, ... (MiB, from a fixed key) are kept;
#            default ${TMPDIR:-/tmp}/quorlen-bench
# Needs GNU time at /usr/bin/time and openssl.
set -euo pipefail
export LC_ALL=C

SIZES="4 16 32" OTHER="" pos=()
while (($#)); do
  case $1 in
    --sizes) SIZES=${2:?--sizes needs a list}; shift ;;
    --vs) OTHER=${2:?--vs needs a program}; shift ;;
    -h | --help) sed -n '2,10s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "unknown option: $1" >&2; exit 2 ;;
    *) pos+=("$1") ;;
  esac
  shift
done
QUORLEN=${pos[0]:-build/quorlen}
WORK=${pos[1]:-${TMPDIR:-/tmp}/quorlen-bench}
mkdir -p "$WORK"

peak() { # PROGRAM INPUT -> KiB
  /usr/bin/time -f %M "$1" "$2" /dev/null 2>&1 >/dev/null | tail -n 1
}

printf '%-6s %-40s %10s %8s\n' input program "peak KiB" "B/byte"
for mib in $SIZES; do
  f=$WORK/r$mib n=$((mib * 1048576))
  if [[ ! -s $f ]]; then
    (set +o pipefail; openssl enc -aes-256-ctr -nosalt -pbkdf2 -pass pass:quorlen < /dev/zero 2>/dev/null |
      head -c "$n") > "$f.tmp"
    [[ $(stat -c %s "$f.tmp") == "$n" ]] || { echo "error: could not build $f" >&2; exit 1; }
    mv "$f.tmp" "$f"
  fi
  for program in "$QUORLEN" ${OTHER:+"$OTHER"}; do
    kib=$(peak "$program" "$f")
    printf '%-6s %-40s %10s %8.2f\n' "r$mib" "$program" "$kib" "$(echo "$kib * 1024 / $n" | bc -l)"
  done
done
