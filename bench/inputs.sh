# shellcheck shell=bash
# Reproducible benchmark inputs, shared by the bench/ scripts (source this file).
# make_input NAME builds WORK/NAME unless it already exists:
#   h1 h16 h64  1/16/64 MiB of a name-sorted tar of /usr/include
#   so8         8 MiB of the shared libraries in /usr/lib/x86_64-linux-gnu
#   r16         16 MiB of pseudo-random bytes from a fixed key (needs openssl); rN for
#               any other N MiB: prefixes of the same stream
#   collection  successive Linux header releases, about 256 MiB (bench/collection.sh)
# The caller sets WORK and runs under `set -euo pipefail`.

MIB=1048576
BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

check_size() { # FILE BYTES
  local got; got=$(stat -c %s "$1")
  ((got == $2)) || { echo "error: built only $got of $2 bytes for $1" >&2; exit 1; }
}

# The pipelines cut their producer short with head, so pipefail is off there and
# the size checked.
make_input() {
  local f=$WORK/$1 n
  [[ -s $f ]] && return
  echo "building input $1" >&2
  case $1 in
    h1 | h16 | h64)
      n=$((${1#h} * MIB))
      (cd / && find usr/include -type f | sort) > "$WORK/headers.list"
      (set +o pipefail; cd / && tar --no-recursion --owner=0 --group=0 --numeric-owner \
        --mtime=@0 -cf - -T "$WORK/headers.list" 2>/dev/null | head -c "$n") > "$f.tmp" ;;
    so8)
      n=$((8 * MIB))
      (set +o pipefail; find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name '*.so*' |
        sort | xargs -d '\n' cat 2>/dev/null | head -c "$n") > "$f.tmp" ;;
    r[0-9]*)
      n=$((${1#r} * MIB))
      (set +o pipefail; openssl enc -aes-256-ctr -nosalt -pbkdf2 -pass pass:quorlen < /dev/zero 2>/dev/null |
        head -c "$n") > "$f.tmp" ;;
    collection)
      bash "$BENCH_DIR/collection.sh" "$WORK" >&2
      return ;;
    *) echo "unknown input: $1" >&2; exit 2 ;;
  esac
  check_size "$f.tmp" "$n"
  mv "$f.tmp" "$f"
}
