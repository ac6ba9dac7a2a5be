#!/usr/bin/env bash
# Installs the build tree into temporary prefixes, component by component and whole,
# then builds consumers of the library with CMake's package (static and shared library)
# and with pkg-config (C++ and C), round-trips a file with each and with the installed
# programs, and imports the installed Python module when it was built.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
sample="$root/README.md"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"

# The components: "programs" holds the programs, manual pages and completion only, "dev" the rest.
cmake --install "$build" --prefix "$work/programs" --component programs >/dev/null
(cd "$work/programs" && find . -type f | sort) > "$work/programs.list"
diff <(printf '%s\n' ./bin/quorlen ./bin/unquorlen ./share/bash-completion/completions/unquorlen \
  ./share/man/man1/quorlen.1 ./share/man/man1/unquorlen.1) \
  "$work/programs.list"
cmake --install "$build" --prefix "$work/dev" --component dev >/dev/null
test -f "$work/dev/include/quorlen/quorlen.h" && test -f "$work/dev/lib/libquorlen.a"
test ! -e "$work/dev/bin"

cmake --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/share/man/man1/quorlen.1"
test -f "$prefix/share/man/man1/unquorlen.1"
test -L "$prefix/lib/libquorlen.so" && test -f "$prefix/lib/libquorlen.so.$version"
objdump -p "$prefix/lib/libquorlen.so" | grep -q "SONAME *libquorlen.so.${version%%.*}\$"
"$prefix/bin/quorlen" "$sample" "$work/sample.q" >/dev/null
"$prefix/bin/unquorlen" "$work/sample.q" "$work/sample.out"
cmp "$sample" "$work/sample.out"

cmake -S "$root/tests/install" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer" "$sample"
"$work/consumer/consumer_shared" "$sample"
ldd "$work/consumer/consumer_shared" | grep -q "libquorlen.so.${version%%.*} => $prefix/lib/"

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
pkg-config --exists "quorlen = $version"
# shellcheck disable=SC2046
c++ -std=c++20 "$root/tests/install/consumer.cpp" -o "$work/consumer-pc" \
  $(pkg-config --cflags --libs quorlen) -Wl,-rpath,"$prefix/lib"
"$work/consumer-pc" "$sample"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -pedantic "$root/tests/c_api_test.c" -o "$work/consumer-c" \
  -DQUORLEN_EXPECTED_VERSION="\"$version\"" $(pkg-config --cflags --libs quorlen) -Wl,-rpath,"$prefix/lib"
"$work/consumer-c"

module="$(find "$prefix" -name 'quorlen.*.so' -path '*-packages/*')"
if [ -n "$module" ]; then  # the Python module, when it was built
  PYTHONPATH="$(dirname "$module")" /usr/bin/python3 -c "import quorlen as q; assert q.__version__ == '$version'
assert q.decompress(q.compress(b'abcabc' * 99)) == b'abcabc' * 99"
fi
echo "install check passed"
