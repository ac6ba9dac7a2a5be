#!/usr/bin/env bash
# Checks that the pair replacer's prefetches survive compilation. GCC 12 once judged
# a helper made only of __builtin_prefetch calls to have no effect and deleted every
# call to it, silently. Each PairReplacer::prefetch... helper left in the program must
# hold a prefetch instruction and be called (one inlined everywhere is absent).
# Usage: prefetches_kept.sh OBJDUMP PROGRAM
set -euo pipefail
listing=$("$1" -d --no-show-raw-insn -C "$2")
helpers=$(grep -oE '^[0-9a-f]+ <quorlen::PairReplacer::prefetch[A-Za-z]*' <<< "$listing" | sed 's/.*:://' | sort -u)
status=0
for helper in $helpers; do
  body=$(awk -v f="<quorlen::PairReplacer::$helper(" '/^[0-9a-f]+ </ { on = index($0, f) > 0; next } on' <<< "$listing")
  grep -q prefetch <<< "$body" || { echo "$helper holds no prefetch instruction"; status=1; }
  # A call, or a jump to the helper's start (a tail call; -O2 makes one of a last statement).
  grep -qE "(call|jmp) +[0-9a-f]+ <quorlen::PairReplacer::$helper\([^+]*>$" <<< "$listing" || { echo "$helper is never called"; status=1; }
done
grep -qE '^\s*[0-9a-f]+:\s+prefetch' <<< "$listing" || { echo "no prefetch instruction at all"; status=1; }
exit "$status"
