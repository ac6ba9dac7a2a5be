#!/usr/bin/env bash
# Builds the Debian packages from a build tree with cpack, unpacks each into its own
# temporary folder with dpkg-deb -x (nothing is installed on the system), checks what
# each holds, round-trips a file with the unpacked programs, sources the completion,
# and builds a consumer of the unpacked development package with its CMake package
# and with its pkg-config file.
# Usage: tests/packages/check.sh [build-dir]     (default: build)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"

# dpkg-shlibdeps (dpkg-dev) computes the packages' library dependencies.
if ! command -v dpkg-shlibdeps >/dev/null 2>&1 || ! command -v pkg-config >/dev/null 2>&1; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq dpkg-dev pkg-config >/dev/null
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "package check failed: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/debs" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack"; }
programs_deb=$(compgen -G "$work/debs/quorlen_*.deb") || fail "no quorlen_*.deb"
dev_deb=$(compgen -G "$work/debs/quorlen-dev_*.deb") || fail "no quorlen-dev_*.deb"
[ "$(dpkg-deb -f "$programs_deb" Package)" = quorlen ] || fail "programs package name"
[ "$(dpkg-deb -f "$dev_deb" Package)" = quorlen-dev ] || fail "development package name"
dpkg-deb -f "$programs_deb" Depends | grep -q libc6 || fail "quorlen lists no dependency on libc6"

programs="$work/programs" dev="$work/dev"
dpkg-deb -x "$programs_deb" "$programs"
dpkg-deb -x "$dev_deb" "$dev"

# Each package holds its own files and none of the other's.
for f in usr/bin/quorlen usr/bin/unquorlen usr/share/man/man1/quorlen.1 usr/share/man/man1/unquorlen.1 \
  usr/share/bash-completion/completions/unquorlen; do
  [ -e "$programs/$f" ] || fail "quorlen lacks /$f"
  [ ! -e "$dev/$f" ] || fail "quorlen-dev also holds /$f"
done
[ -z "$(find "$programs" -name '*.hpp' -o -name '*.a' -o -name '*.pc')" ] || fail "quorlen holds development files"
[ -e "$dev/usr/include/quorlen/quorlen.hpp" ] || fail "quorlen-dev lacks the header"
libdir=$(dirname "$(find "$dev/usr" -name libquorlen.a | head -n1)")
[ "$libdir" != . ] || fail "quorlen-dev lacks libquorlen.a"
pcdir=$(dirname "$(find "$dev/usr" -name quorlen.pc | head -n1)")
[ "$pcdir" != . ] || fail "quorlen-dev lacks quorlen.pc"
[ -n "$(find "$dev/usr" -name quorlenConfig.cmake)" ] || fail "quorlen-dev lacks the CMake package"

# The programs as unpacked, on a sample.
sample="$root/README.md"
"$programs/usr/bin/quorlen" "$sample" "$work/sample.q" >/dev/null
"$programs/usr/bin/unquorlen" "$work/sample.q" "$work/sample.out"
cmp "$sample" "$work/sample.out" || fail "round trip through the unpacked programs"
bash "$root/tests/packages/completion_test.sh" "$programs/usr/share/bash-completion/completions/unquorlen" >/dev/null \
  || fail "the packaged completion"

# A consumer of the unpacked development package; a shared library, where the package
# has one, is found through LD_LIBRARY_PATH as it would be in /usr/lib.
export LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
cmake -S "$root/tests/install" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$dev/usr" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer" "$sample" >/dev/null || fail "CMake consumer"
# shellcheck disable=SC2046
c++ -std=c++20 "$root/tests/install/consumer.cpp" -o "$work/consumer-pc" \
  $(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs quorlen)
"$work/consumer-pc" "$sample" >/dev/null || fail "pkg-config consumer"

echo "package check passed: $(basename "$programs_deb") $(basename "$dev_deb")"
