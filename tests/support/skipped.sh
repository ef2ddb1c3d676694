#!/usr/bin/env bash
# skipped.sh -- a check whose part is missing here: says what was not checked and why, and exits 77, ctest's skip.
# usage: skipped.sh WHAT REASON
# Where GLOAMER_SKIPPED_DIR is set, the line is kept there too, for scripts/test.sh to list after the summary.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: skipped.sh WHAT REASON" >&2; exit 2; }
line="$1 — $2"
echo "SKIPPED: $line"
if [ -n "${GLOAMER_SKIPPED_DIR:-}" ]; then
  mkdir -p "$GLOAMER_SKIPPED_DIR"
  printf '%s\n' "$line" >"$GLOAMER_SKIPPED_DIR/$(printf '%s' "$1" | md5sum | cut -c1-16)"
fi
exit 77
