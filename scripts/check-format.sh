#!/usr/bin/env bash
# Fails when a C++ file of the tree is not in the layout .clang-format
# describes, naming each file; `scripts/check-format.sh --fix` rewrites them.
# Fixture trees under tests/data are left as they are.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h' | grep -v '^tests/data/')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
bad=0
for f in "${files[@]}"; do
    if ! clang-format --dry-run -Werror "$f" 2>/dev/null; then
        echo "format: $f is not in the project's layout (scripts/check-format.sh --fix)"
        bad=$((bad + 1))
    fi
done
if [ "$bad" -gt 0 ]; then
    echo "format: $bad file(s) to reformat"
    exit 1
fi
echo "format: ${#files[@]} files in layout"
