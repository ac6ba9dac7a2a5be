#!/usr/bin/env bash
# Build a versioned collection: the include/ tree of several releases of Debian's
# linux-headers-6.1.0-*-common, each as its own reproducible tar, oldest first,
# concatenated while the total stays within the limit.
#
# Usage: bench/collection.sh [--mib N] [WORKDIR]
#   WORKDIR  where the collection is written (WORKDIR/collection, WORKDIR/collection.txt
#            lists the releases in it); default ${TMPDIR:-/tmp}/quorlen-bench
#   --mib N  (or COLLECTION_MIB=N) size limit in MiB; default 256
#   COLLECTION_CACHE  folder for the downloaded .deb files; default WORKDIR/debs
# Needs apt-get (Debian), dpkg-deb, GNU tar. Runs `apt-get update` when apt knows no
# such package yet (that needs root).
set -euo pipefail
export LC_ALL=C

LIMIT_MIB=${COLLECTION_MIB:-256} pos=()
while (($#)); do
  case $1 in
    --mib) LIMIT_MIB=${2:?--mib needs a number}; shift ;;
    --mib=*) LIMIT_MIB=${1#*=} ;;
    -h | --help) sed -n '2,12s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "unknown option: $1" >&2; exit 2 ;;
    *) pos+=("$1") ;;
  esac
  shift
done
[[ $LIMIT_MIB =~ ^[0-9]+$ ]] || { echo "--mib needs a whole number of MiB" >&2; exit 2; }
mkdir -p "${pos[0]:-${TMPDIR:-/tmp}/quorlen-bench}"
WORK=$(cd "${pos[0]:-${TMPDIR:-/tmp}/quorlen-bench}" && pwd)
CACHE=${COLLECTION_CACHE:-$WORK/debs}
mkdir -p "$CACHE"
OUT=$WORK/collection LIMIT=$((LIMIT_MIB * 1048576))
SUBTREE=include

list_releases() { # package names, oldest ABI number first
  apt-cache search --names-only '^linux-headers-6\.1\.0-[0-9]+-common$' | awk '{ print $1 }' | sort -V
}
mapfile -t releases < <(list_releases)
if ((${#releases[@]} == 0)); then
  echo "apt knows no linux-headers-6.1.0-*-common; running apt-get update" >&2
  apt-get update -qq
  mapfile -t releases < <(list_releases)
fi
((${#releases[@]})) || { echo "error: no linux-headers-6.1.0-*-common package found" >&2; exit 1; }

# fetch PACKAGE: the .deb in the cache (downloaded once), printed as a path.
fetch() {
  local deb
  deb=$(compgen -G "$CACHE/$1_*_all.deb" | head -n1 || true)
  if [[ -z $deb ]]; then
    echo "downloading $1" >&2
    # Failure shows as a missing .deb below; root's unsandboxed-download warning is noise.
    (cd "$CACHE" && { apt-get download -q "$1" 2>&1 | grep -v 'unsandboxed as root' >&2 || true; })
    deb=$(compgen -G "$CACHE/$1_*_all.deb" | head -n1 || true)
    [[ -n $deb ]] || { echo "error: apt-get download $1 failed" >&2; exit 1; }
  fi
  echo "$deb"
}

# tar_release DEB TARFILE: the release's SUBTREE as a tar with names sorted and
# owner, group and times fixed, so the same .deb always gives the same bytes.
tar_release() {
  local tree; tree=$(mktemp -d "$WORK/unpack.XXXXXX")
  dpkg-deb -x "$1" "$tree"
  (cd "$tree/usr/src" && find linux-headers-*/"$SUBTREE" | sort > "$tree/list" &&
    tar --no-recursion --owner=0 --group=0 --numeric-owner --mtime=@0 --mode=u+rw,go+r \
      -cf "$2" -T "$tree/list")
  rm -rf "$tree"
}

rm -f "$OUT.tmp" "$OUT.txt.tmp"
: > "$OUT.tmp"
for pkg in "${releases[@]}"; do
  deb=$(fetch "$pkg")
  tar_release "$deb" "$WORK/release.tar"
  total=$(($(stat -c %s "$OUT.tmp") + $(stat -c %s "$WORK/release.tar")))
  if ((total > LIMIT)); then
    rm -f "$WORK/release.tar"
    break
  fi
  cat "$WORK/release.tar" >> "$OUT.tmp"
  printf '%s %s %d\n' "$(basename "$deb")" "$SUBTREE" "$(stat -c %s "$WORK/release.tar")" >> "$OUT.txt.tmp"
  rm -f "$WORK/release.tar"
done
[[ -s $OUT.tmp ]] || { echo "error: not even one release fits in $LIMIT_MIB MiB" >&2; exit 1; }
mv "$OUT.tmp" "$OUT"
mv "$OUT.txt.tmp" "$OUT.txt"
printf '%s: %d bytes from %d releases\n' "$OUT" "$(stat -c %s "$OUT")" "$(wc -l < "$OUT.txt")" >&2
cat "$OUT.txt"
