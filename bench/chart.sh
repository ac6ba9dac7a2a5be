#!/usr/bin/env bash
# Chart of compression ratio against compression speed and against restore speed for
# quorlen and the peers, one panel row per input. Each program runs once per input,
# compressing then restoring (the restored bytes are compared with the input), one
# program after the other so that the machine's load hits them alike. Speeds are
# input bytes per second of CPU time (user + system): every program here runs on one
# thread, so that equals wall time on an idle machine and is less disturbed on a
# shared one; the table gives the wall seconds too.
#
# Usage: bench/chart.sh [--inputs "h16 so8 collection"] [--plot-only] [--out FILE] [BINDIR [WORKDIR]]
#   BINDIR       holds quorlen and unquorlen; default build/
#   WORKDIR      inputs and results (chart.tsv, chart.md); default ${TMPDIR:-/tmp}/quorlen-bench
#   --inputs L   inputs to measure, from h1 h16 h64 so8 collection (see bench/inputs.sh);
#                default "h16 so8 collection"; rows of other inputs in chart.tsv are kept
#   --plot-only  measure nothing: plot chart.tsv and write chart.md as they are
#   --out FILE   the chart, PNG; default doc/benchmark-chart.png in the source tree
# Needs bash >= 5, GNU time at /usr/bin/time, gnuplot (Debian: gnuplot-nox), gzip,
# bzip2, xz, zstd.
set -euo pipefail
export LC_ALL=C

ROOT=$(cd "$(dirname "$0")/.." && pwd)
INPUTS="h16 so8 collection" PLOT_ONLY=0 OUT=$ROOT/doc/benchmark-chart.png pos=()
while (($#)); do
  case $1 in
    --inputs) INPUTS=${2:?--inputs needs a list}; shift ;;
    --inputs=*) INPUTS=${1#*=} ;;
    --plot-only) PLOT_ONLY=1 ;;
    --out) OUT=${2:?--out needs a file}; shift ;;
    --out=*) OUT=${1#*=} ;;
    -h | --help) sed -n '2,18s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "unknown option: $1" >&2; exit 2 ;;
    *) pos+=("$1") ;;
  esac
  shift
done
command -v gnuplot >/dev/null || { echo "gnuplot is missing (Debian: apt-get install gnuplot-nox)" >&2; exit 1; }
mkdir -p "${pos[1]:-${TMPDIR:-/tmp}/quorlen-bench}/out"
WORK=$(cd "${pos[1]:-${TMPDIR:-/tmp}/quorlen-bench}" && pwd)
TSV=$WORK/chart.tsv
# shellcheck source=bench/inputs.sh
source "$ROOT/bench/inputs.sh"

# run_timed OUTFILE CMD...: run CMD with its standard output in OUTFILE; sets WALL and
# CPU (user + system) in seconds and RSS_KB (peak resident set), or stops the script
# when CMD fails.
run_timed() {
  local out=$1 t0 user sys; shift
  t0=$EPOCHREALTIME
  if ! /usr/bin/time -f '%U %S %M' -o "$WORK/time.txt" "$@" > "$out" 2> "$WORK/stderr.txt"; then
    echo "failed: $*" >&2; cat "$WORK/stderr.txt" >&2; exit 1
  fi
  WALL=$(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }')
  read -r user sys RSS_KB < <(tail -n1 "$WORK/time.txt")
  CPU=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
}

# measure INPUT: one chart.tsv row per program: input, input bytes, program,
# compressed bytes, compression wall s, restore wall s, compression peak RSS KiB,
# compression CPU s, restore CPU s.
measure() {
  local in=$WORK/$1 o=$WORK/out/$1 insize csize cwall ccpu crss entry
  insize=$(stat -c %s "$in")
  for entry in "quorlen|quorlen|q" "gzip -9|gzip -9|gz" "bzip2 -9|bzip2 -9|bz2" "xz -9e|xz -9e -T1|xz" \
    "zstd -19|zstd -19 --single-thread -q|zst"; do
    local name ext pack unpack command
    IFS='|' read -r name command ext <<< "$entry"
    read -ra pack <<< "$command"
    echo "$1: $name" >&2
    if [[ $name == quorlen ]]; then
      run_timed /dev/null "$BINDIR/quorlen" "$in" "$o.$ext"
    else
      run_timed "$o.$ext" "${pack[@]}" -c "$in"
    fi
    csize=$(stat -c %s "$o.$ext") cwall=$WALL ccpu=$CPU crss=$RSS_KB
    rm -f "$o.restored"
    if [[ $name == quorlen ]]; then
      run_timed /dev/null "$BINDIR/unquorlen" "$o.$ext" "$o.restored"
    else
      unpack=("${pack[0]}" -d -c)
      [[ ${pack[0]} == xz ]] && unpack+=(-T1)
      run_timed "$o.restored" "${unpack[@]}" "$o.$ext"
    fi
    cmp -s "$in" "$o.restored" || { echo "error: $name did not restore $1" >&2; exit 1; }
    rm -f "$o.restored" "$o.$ext"
    printf '%s\t%d\t%s\t%d\t%s\t%s\t%d\t%s\t%s\n' "$1" "$insize" "$name" "$csize" "$cwall" "$WALL" "$crss" \
      "$ccpu" "$CPU" >> "$TSV.new"
  done
}

if ((PLOT_ONLY == 0)); then
  BINDIR=$(cd "${pos[0]:-build}" && pwd)
  [[ -x $BINDIR/quorlen && -x $BINDIR/unquorlen ]] || { echo "no quorlen and unquorlen in $BINDIR" >&2; exit 1; }
  for i in $INPUTS; do make_input "$i"; done
  # Keep the rows of inputs not measured now.
  : > "$TSV.new"
  [[ -f $TSV ]] && awk -F'\t' -v skip=" $INPUTS " 'index(skip, " " $1 " ") == 0' "$TSV" >> "$TSV.new"
  for i in $INPUTS; do measure "$i"; done
  # Rows in a fixed order of inputs, programs in measuring order within each.
  awk -F'\t' 'BEGIN { n = split("h1 h16 h64 so8 collection", order, " "); for (i = 1; i <= n; i++) rank[order[i]] = i }
    { printf "%d\t%d\t%s\n", ($1 in rank) ? rank[$1] : n + 1, NR, $0 }' "$TSV.new" |
    sort -n -k1,1 -k2,2 | cut -f3- > "$TSV"
  rm -f "$TSV.new"
  ver() { "$@" </dev/null 2>&1 | grep -m1 -oE 'v?[0-9]+\.[0-9]+(\.[0-9]+)?' || echo '?'; }
  printf '%s · %s cores of %s · %s GiB · quorlen %s · gzip %s · bzip2 %s · xz %s · zstd %s\n' \
    "$(date -u +%Y-%m-%d)" "$(nproc)" "$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)" \
    "$(awk '/^MemTotal/ { printf "%.1f", $2 / 1048576 }' /proc/meminfo)" \
    "$(git -C "$ROOT" describe --always --dirty 2>/dev/null || echo unknown)" \
    "$(ver gzip --version)" "$(ver bzip2 --version)" "$(ver xz --version)" "$(ver zstd --version)" > "$WORK/chart.machine"
fi
[[ -s $TSV ]] || { echo "no results in $TSV" >&2; exit 1; }

# The table beside the chart: MiB/s are MiB (2^20 bytes) of input per CPU second.
{
  cat "$WORK/chart.machine" 2>/dev/null || echo 'machine unknown'
  echo
  echo '| input | program | compressed bytes | ratio | compress MiB/s | restore MiB/s | compress wall s | restore wall s | compress peak RSS MiB |'
  echo '|---|---|---:|---:|---:|---:|---:|---:|---:|'
  awk -F'\t' 'function rate(s) { return s > 0 ? sprintf("%.2f", $2 / 1048576 / s) : "-" }
    { printf "| %s | %s | %d | %.3f | %s | %s | %.3f | %.3f | %.1f |\n", $1, $3, $4, $2 / $4,
      rate($8), rate($9), $5, $6, $7 / 1024 }' "$TSV"
} > "$WORK/chart.md"

inputs=$(awk -F'\t' '!seen[$1]++ { printf "%s%s", sep, $1; sep = " " }' "$TSV")
mkdir -p "$(dirname "$OUT")"
gnuplot -e "datafile='$TSV'; outfile='$OUT'; inputs='$inputs'; subtitle='$(head -c 160 "$WORK/chart.machine" 2>/dev/null | tr -d "'\n")'" \
  "$ROOT/bench/chart.gp"
cat "$WORK/chart.md"
echo "(chart: $OUT; table: $WORK/chart.md)" >&2
