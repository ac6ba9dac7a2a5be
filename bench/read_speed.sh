#!/usr/bin/env bash
# Random-access reading: for each input, compressed once by quorlen, prints openReader()
# against decompress() (pair by pair, the same stream), the spread of 4 KiB reads at
# random offsets, and the memory an open Reader holds per stream byte.
#
# Usage: bench/read_speed.sh [--inputs "h16 h64"] [--reads N] [BUILDDIR [WORKDIR]]
#   BUILDDIR  the CMake build directory (quorlen and the libraries); default build/
#   WORKDIR   inputs and streams; default ${TMPDIR:-/tmp}/quorlen-bench (shared with run.sh)
#   --inputs  from h1 h16 h64 (1/16/64 MiB of a tar of usr/include, as run.sh builds them)
#             and so8 (8 MiB of .so files); default h64
#   --reads   reads per input; default 20000
set -euo pipefail
export LC_ALL=C

INPUTS=h64 READS=20000 pos=()
while (($#)); do
  case $1 in
    --inputs) INPUTS=${2:?--inputs needs a list}; shift ;;
    --reads) READS=${2:?--reads needs a number}; shift ;;
    -h | --help) sed -n '2,13s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "unknown option: $1" >&2; exit 2 ;;
    *) pos+=("$1") ;;
  esac
  shift
done

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${pos[0]:-$ROOT/build}" && pwd)
mkdir -p "${pos[1]:-${TMPDIR:-/tmp}/quorlen-bench}"
WORK=$(cd "${pos[1]:-${TMPDIR:-/tmp}/quorlen-bench}" && pwd)
for file in libquorlen.a quorlen; do
  [[ -e $BUILD/$file ]] || { echo "missing $BUILD/$file: build first" >&2; exit 1; }
done
# The same inputs, byte for byte, as run.sh makes.
# shellcheck source=bench/inputs.sh
source "$ROOT/bench/inputs.sh"

PROGRAM=$WORK/read_speed
"${CXX:-c++}" -O2 -std=c++20 -I"$ROOT/include" "$ROOT/bench/read_speed.cpp" "$BUILD/libquorlen.a" -o "$PROGRAM"

echo "$(date -u '+%F %H:%M UTC'), $(nproc) cores: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
for input in $INPUTS; do
  make_input "$input"
  stream=$WORK/$input.qrl
  [[ -s $stream && $stream -nt $BUILD/quorlen ]] || "$BUILD/quorlen" "$WORK/$input" "$stream" > /dev/null
  echo "== $input"
  "$PROGRAM" "$stream" 4096 "$READS" 5
done
