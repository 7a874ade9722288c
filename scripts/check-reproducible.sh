#!/bin/bash
# Checks that repair.exe is reproducible: builds it with the release preset
# from two copies of this tree in two different folders (fresh build trees,
# the compiler cache off so that it cannot hide a difference) and compares
# the two files. Prints both SHA-256 sums; when they differ, where.
#
# usage: scripts/check-reproducible.sh [--against FILE] [--keep]
#   --against FILE  build once and compare with FILE, a repair.exe built by
#                   the release preset in another folder (CI passes the
#                   release workflow's, which saves one build)
#   --keep          keep the scratch folder (its path is printed)
# The copies hold the tracked files as they are in the working tree, and
# new files git does not ignore. Exit code 0 when the builds are the same
# bytes, 1 when they differ or a build fails.
set -uo pipefail

against=""
keep=0
while [ $# -gt 0 ]; do
    case $1 in
        --against) against=$(realpath -e "${2:?--against needs a file}") || exit 1; shift ;;
        --keep) keep=1 ;;
        -h | --help) sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) echo "check-reproducible: unknown option $1 (see --help)" >&2; exit 1 ;;
    esac
    shift
done
cd "$(dirname "$0")/.." || exit 1
ROOT=$(pwd)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/reproducible.XXXXXX")
if [ "$keep" = 1 ]; then
    trap 'echo "scratch folder kept: $scratch"' EXIT
else
    trap 'rm -rf "$scratch"' EXIT
fi

# The tree's files (not its build folders) into folder $1.
copy_tree() {
    mkdir -p "$1"
    git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
        tar --null -T - -cf - | tar -C "$1" -xf -
}

# A fresh release build of repair.exe in a copy at folder $1; its log beside.
build_copy() {
    local src=$1 log=$1.log t0=$SECONDS
    copy_tree "$src" || return 1
    # No compiler cache: both builds compile every file.
    if ! (cd "$src" &&
        unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER &&
        export CCACHE_DISABLE=1 &&
        cmake --preset release -DBUILD_TESTING=OFF &&
        cmake --build --preset release -j "${JOBS:-$(nproc)}" --target repair_exe) >"$log" 2>&1; then
        tail -n 30 "$log" >&2
        echo "check-reproducible: the build in $src failed (log: $log)" >&2
        return 1
    fi
    echo "built $src/build/release/app/repair.exe in $((SECONDS - t0)) s"
}

# Different folder names and depths, so that a path that got into the
# binary shows, also by its length.
first=$scratch/one/src
second=$scratch/second-build/dezed-repair
if [ -n "$against" ]; then
    first=$against
else
    build_copy "$first" || exit 1
    first=$first/build/release/app/repair.exe
fi
build_copy "$second" || exit 1
second=$second/build/release/app/repair.exe

sha256sum "$first" "$second"
if cmp -s "$first" "$second"; then
    echo "check-reproducible: the two builds are the same bytes ($(stat -c %s "$second") bytes)"
    exit 0
fi
echo "check-reproducible: the two builds DIFFER" >&2
python3 -S "$ROOT/tests/release/release_exe.py" diff "$first" "$second" >&2
exit 1
