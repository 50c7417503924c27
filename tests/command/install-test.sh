#!/bin/sh
# cmake --install into a fresh prefix; the installed command must find its
# module and libraries by itself, from any folder.
set -e
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/tessly share/man/man1/tessly.1 share/bash-completion/completions/tessly; do
    test -f "$prefix/$f" || { echo "not installed: $f"; exit 1; }
done
out=$(cd / && env -u TESSLY_MODULE "$prefix/bin/tessly" expr '2^10')
test "$out" = 1024 || { echo "installed tessly printed: $out"; exit 1; }
bash -c ". '$prefix/share/bash-completion/completions/tessly' && complete -p tessly" >/dev/null
echo "installed and ran from $prefix"
