#!/usr/bin/env bash
# completion_test.sh BASH_COMPLETION_FILE -- loads in bash without error and completes commands, options, choices.
set -u
source "$1" || exit 1
expect() { # words... -- expected completions
  local words=() ; while [ "$1" != "--" ]; do words+=("$1"); shift; done; shift
  COMP_WORDS=("${words[@]}") COMP_CWORD=$((${#words[@]} - 1)); _gloamer
  [ "${COMPREPLY[*]}" = "$*" ] || { echo "${words[*]}: got '${COMPREPLY[*]}', want '$*'"; failed=1; }
}
failed=0
expect gloamer re -- render replay
expect gloamer render --q -- --quality --quiet
expect gloamer render --quality "" -- small good high
expect gloamer play --sh -- --shuffle
exit $failed
