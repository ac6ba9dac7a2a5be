#!/usr/bin/env bash
# Peak resident memory of the compressor on pseudo-random bytes of several sizes, in
# KiB and in bytes per input byte (the goal: at most 10 from 4 MiB up; below that the
# program's own 3.5 MiB weigh more), with an optional second build measured right
# after it on each input.
#
# Usage: bench/random_memory.sh [--sizes "4 16 32"] [--vs OTHER-QUORLEN] [QUORLEN [WORKDIR]]
#   QUORLEN  the program to measure; default build/quorlen
#   WORKDIR  where the inputs r4, r16, ... (MiB, prefixes of r16's stream) are kept;
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

# shellcheck source=bench/inputs.sh
source "$(dirname "$0")/inputs.sh"

printf '%-6s %-40s %10s %8s\n' input program "peak KiB" "B/byte"
for mib in $SIZES; do
  make_input "r$mib"
  f=$WORK/r$mib n=$((mib * MIB))
  for program in "$QUORLEN" ${OTHER:+"$OTHER"}; do
    kib=$(peak "$program" "$f")
    printf '%-6s %-40s %10s %8.2f\n' "r$mib" "$program" "$kib" "$(echo "$kib * 1024 / $n" | bc -l)"
  done
done
