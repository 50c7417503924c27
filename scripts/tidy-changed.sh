#!/usr/bin/env bash
# clang-tidy, with the project's .clang-tidy, over the C++ sources changed
# since BASE (default: the commit before HEAD); any finding fails. Needs the
# compile commands of a configured build folder (default: build).
# Usage: scripts/tidy-changed.sh [BASE]
set -euo pipefail
cd "$(dirname "$0")/.."

base="${1:-HEAD~1}"
build="${BUILD_DIR:-build}"
if ! git rev-parse -q --verify "$base^{commit}" >/dev/null; then
    echo "tidy: no commit $base to compare with (a shallow clone?); nothing checked"
    exit 0
fi
[ -f "$build/compile_commands.json" ] ||
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only sources the build compiles have flags to check with; a changed header
# is checked through the sources that include it.
mapfile -t files < <(git diff --name-only --diff-filter=AM "$base" HEAD -- '*.cpp' | grep -v '^tests/data/' |
    while read -r f; do grep -q "\"file\": \"$PWD/$f\"" "$build/compile_commands.json" && echo "$f"; done || true)
if [ "${#files[@]}" -eq 0 ]; then
    echo "tidy: no changed source files since $base"
    exit 0
fi
echo "tidy: ${#files[@]} changed source file(s) since $base"
# The compile commands are GCC's; clang's -Wconversion also warns about
# signedness, which the clang build turns off too.
# Counts of warnings from outside the tree's headers are only noise.
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet --warnings-as-errors='*' \
    --extra-arg=-Wno-sign-conversion 2>&1 | { grep -v '^[0-9]* warnings\? generated\.$' || true; }
echo "tidy: no findings"
