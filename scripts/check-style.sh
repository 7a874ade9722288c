#!/bin/bash
# Checks the tree's style: every C and C++ source formatted as the tree's
# .clang-format files say, and every shell script clean under shellcheck
# (settings in .shellcheckrc). Prints the places that differ; exits non-zero
# when there is any. `scripts/check-style.sh --fix` rewrites the C and C++
# sources instead (shellcheck's findings are fixed by hand).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

for tool in clang-format shellcheck; do
    command -v "$tool" >/dev/null || { echo "check-style: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
mapfile -t sources < <(git ls-files '*.c' '*.cpp' '*.h')
mapfile -t scripts < <(git ls-files '*.sh')
if [ "${1:-}" = --fix ]; then
    clang-format -i "${sources[@]}"
    exit 0
fi

report=$(mktemp "${TMPDIR:-/tmp}/check-style.XXXXXX")
trap 'rm -f "$report"' EXIT
status=0
if ! clang-format --dry-run --Werror "${sources[@]}" 2>"$report"; then
    grep -E '^[^ ].*: (error|warning):' "$report" | head -n 40
    echo "check-style: $(grep -cE ': (error|warning):' "$report") places differ from .clang-format (fix: scripts/check-style.sh --fix)"
    status=1
fi
if ! shellcheck -f gcc "${scripts[@]}" >"$report"; then
    head -n 40 "$report"
    echo "check-style: shellcheck found $(wc -l <"$report") places in the shell scripts"
    status=1
fi
[ "$status" != 0 ] || echo "check-style: ${#sources[@]} sources formatted, ${#scripts[@]} shell scripts clean"
exit "$status"
