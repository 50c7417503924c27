#!/usr/bin/env bash
# Installs the Debian packages TesslyEval builds and tests with, if missing.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config python3
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    nlohmann-json3-dev libzip-dev libpugixml-dev libexpat1-dev libmuparser-dev libre2-dev
    clang libclang-rt-14-dev valgrind
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
