#!/usr/bin/env bash
# Sources unquorlen's bash completion and checks what it offers on a few command lines.
# Usage: completion_test.sh [completion file]
set -euo pipefail
file=${1:-"$(dirname "$0")/../../completion/unquorlen"}
# shellcheck source=/dev/null
source "$file"
complete -p unquorlen | grep -q -- '-F _unquorlen' || { echo "FAIL: not registered for unquorlen"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
touch data.q ./-odd

failures=0
# expect "COMMAND LINE" "EXPECTED REPLIES": the last word is the one being completed.
expect() {
  read -ra COMP_WORDS <<< "$1"
  [[ $1 == *' ' ]] && COMP_WORDS+=('')
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _unquorlen
  local got; got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' ')
  if [[ $got != "$2" ]]; then
    echo "FAIL: '$1' offers '$got', expected '$2'"
    failures=$((failures + 1))
  fi
}
expect 'unquorlen --r' '--range'
expect 'unquorlen --l' '--list'
expect 'unquorlen -' '-- --help --list --range --test --version -l -t'
expect 'unquorlen --range ' ''
expect 'unquorlen --range 0:10 da' 'data.q'
expect 'unquorlen -t d' 'data.q'
expect 'unquorlen -- -o' '-odd'
((failures == 0)) || exit 1
echo "completion checks passed"
