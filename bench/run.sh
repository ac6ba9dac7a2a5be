#!/usr/bin/env bash
# Benchmark quorlen against gzip, bzip2, xz and zstd on reproducible inputs.
#
# Usage: bench/run.sh [--quick] [--inputs "h1 h16"] [BINDIR [WORKDIR]]
#   BINDIR   directory holding quorlen (and optionally unquorlen); default build/
#   WORKDIR  inputs, outputs and results.md; default ${TMPDIR:-/tmp}/quorlen-bench
#   --quick  (or QUICK=1) only the h1 and so8 inputs
#   --inputs "LIST" (or INPUTS="LIST", as env or argument) pick inputs from:
#            h1 h16 h64 (1/16/64 MiB of a tar of usr/include), so8 (8 MiB of .so files),
#            r16 (16 MiB of pseudo-random bytes from a fixed key),
#            collection (about 256 MiB of Linux header releases, bench/collection.sh)
# Needs bash >= 5, GNU time at /usr/bin/time, tar, gzip, bzip2, xz, zstd (and openssl for r16).
set -euo pipefail
export LC_ALL=C

QUICK=${QUICK:-0} INPUTS=${INPUTS:-} pos=()
while (($#)); do
  case $1 in
    --quick) QUICK=1 ;;
    --inputs) INPUTS=${2:?--inputs needs a list}; shift ;;
    --inputs=*) INPUTS=${1#*=} ;;
    INPUTS=*) INPUTS=${1#INPUTS=} ;;
    -h | --help) sed -n '2,11s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "unknown option: $1" >&2; exit 2 ;;
    *) pos+=("$1") ;;
  esac
  shift
done
if [[ -z $INPUTS ]]; then
  if [[ $QUICK == 1 ]]; then INPUTS="h1 so8"; else INPUTS="h1 h16 h64 so8 r16"; fi
fi

BINDIR=$(cd "${pos[0]:-build}" && pwd)
QUORLEN=$BINDIR/quorlen UNQUORLEN=$BINDIR/unquorlen
[[ -x $QUORLEN ]] || { echo "no executable $QUORLEN" >&2; exit 1; }
mkdir -p "${pos[1]:-${TMPDIR:-/tmp}/quorlen-bench}/out"
WORK=$(cd "${pos[1]:-${TMPDIR:-/tmp}/quorlen-bench}" && pwd)
# shellcheck source=bench/inputs.sh
source "$(dirname "$0")/inputs.sh"

# timed STDOUT CMD...: run CMD under GNU time; sets OK (0/1), WALL (s), CPU (user + system s), RSS_KB.
timed() {
  local out=$1 t0; shift
  t0=$EPOCHREALTIME
  if /usr/bin/time -v -o "$WORK/time.txt" "$@" > "$out" 2> "$WORK/stderr.txt"; then OK=1; else OK=0; fi
  WALL=$(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }')
  RSS_KB=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$WORK/time.txt")
  CPU=$(awk -F': ' '/(User|System) time \(seconds\)/ { s += $2 } END { printf "%.2f", s }' "$WORK/time.txt")
  ((OK)) || { echo "  failed: $*" >&2; sed 's/^/    /' "$WORK/stderr.txt" >&2; }
}

# row INPUT PROGRAM COMPRESSED: append a table row from INSIZE, WALL, CPU, RSS_KB.
row() {
  awk -v name="$1" -v prog="$2" -v c="$3" -v isz="$INSIZE" -v w="$WALL" -v cpu="$CPU" -v rk="$RSS_KB" 'BEGIN {
    ratio = (c ~ /^[0-9]+$/ && c > 0) ? sprintf("%.3f", isz / c) : "-"
    mbps = (w > 0) ? sprintf("%.2f", isz / 1048576 / w) : "-"
    printf "| %s | %d | %s | %s | %s | %.3f | %.2f | %s | %.1f | %.3f |\n",
      name, isz, prog, c, ratio, w, cpu, mbps, rk / 1024, rk * 1024 / isz }' >> "$WORK/results.md"
}

for i in $INPUTS; do
  [[ $i =~ ^(h1|h16|h64|so8|r16|collection)$ ]] ||
    { echo "unknown input: $i (choose from h1 h16 h64 so8 r16 collection)" >&2; exit 2; }
done
for i in $INPUTS; do make_input "$i"; done

ver() { "$@" </dev/null 2>&1 | grep -m1 -oE 'v?[0-9]+\.[0-9]+(\.[0-9]+)?' || echo '?'; }
rev=$(git -C "$(dirname "$0")" describe --always --dirty 2>/dev/null || echo unknown)
{
  printf '%s · nproc %s · CPU %s · memory %s GiB\n\n' "$(date -u +%Y-%m-%d)" "$(nproc)" \
    "$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)" \
    "$(awk '/^MemTotal/ { printf "%.1f", $2 / 1048576 }' /proc/meminfo)"
  printf 'quorlen source %s · gzip %s · bzip2 %s · xz %s · zstd %s\n\n' "$rev" "$(ver gzip --version)" \
    "$(ver bzip2 --version)" "$(ver xz --version)" "$(ver zstd --version)"
  echo '| input | input size | program | compressed size | ratio | wall s | CPU s | MB/s | peak RSS MiB | RSS bytes/input byte |'
  echo '|---|---:|---|---:|---:|---:|---:|---:|---:|---:|'
} > "$WORK/results.md"

for i in $INPUTS; do
  in=$WORK/$i o=$WORK/out/$i
  INSIZE=$(stat -c %s "$in")
  echo "$i: quorlen" >&2
  timed /dev/null "$QUORLEN" "$in" "$o.qz"
  if ((OK)); then row "$i" quorlen "$(stat -c %s "$o.qz")"; else row "$i" quorlen FAIL; fi
  if ((OK)) && [[ -x $UNQUORLEN ]]; then
    echo "$i: unquorlen" >&2
    rm -f "$o.restored"
    timed /dev/null "$UNQUORLEN" "$o.qz" "$o.restored"
    if ((OK)) && cmp -s "$in" "$o.restored"; then rt=ok; else rt=FAIL; fi
    row "$i" unquorlen "round trip $rt"
    rm -f "$o.restored"
  fi
  for c in "gzip -9 -c:gz" "bzip2 -9 -c:bz2" "xz -9e -c -T1:xz" "zstd -19 -c -q --single-thread:zst"; do
    read -ra cmd <<< "${c%:*}"
    echo "$i: ${cmd[0]}" >&2
    timed "$o.${c##*:}" "${cmd[@]}" "$in"
    if ((OK)); then row "$i" "${cmd[*]}" "$(stat -c %s "$o.${c##*:}")"; else row "$i" "${cmd[*]}" FAIL; fi
  done
done

cat >> "$WORK/results.md" <<'EOF'

Sizes in bytes; ratio = input size / compressed size; MB/s = MiB (2^20 bytes) of
input (for unquorlen: of restored output) per second of wall time; CPU s = user +
system seconds, steadier than wall time on a shared machine; peak RSS from
GNU time's "Maximum resident set size". gzip and bzip2 are single-threaded;
xz and zstd are forced to one thread (-T1, --single-thread).
EOF
cat "$WORK/results.md"
echo "(written to $WORK/results.md)" >&2
