#!/bin/bash
# Checks that every C and C++ source of the tree is formatted as the tree's
# .clang-format files say. Prints the places that differ; exits non-zero
# when there is any. `scripts/check-format.sh --fix` rewrites them instead.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

command -v clang-format >/dev/null || { echo "check-format: clang-format is missing (scripts/install-deps.sh)" >&2; exit 1; }
mapfile -t sources < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
    clang-format -i "${sources[@]}"
    exit 0
fi
if ! clang-format --dry-run --Werror "${sources[@]}" 2>"${TMPDIR:-/tmp}/check-format.$$"; then
    grep -E '^[^ ].*: (error|warning):' "${TMPDIR:-/tmp}/check-format.$$" | head -n 40
    echo "check-format: $(grep -cE ': (error|warning):' "${TMPDIR:-/tmp}/check-format.$$") places differ from .clang-format (fix: scripts/check-format.sh --fix)"
    rm -f "${TMPDIR:-/tmp}/check-format.$$"
    exit 1
fi
rm -f "${TMPDIR:-/tmp}/check-format.$$"
echo "check-format: ${#sources[@]} files formatted"
