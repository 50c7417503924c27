#!/usr/bin/env bash
# Installs the Debian packages TesslyEval builds and tests with, if missing.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config python3
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    nlohmann-json3-dev libsimdjson-dev libzip-dev libpugixml-dev libexpat1-dev libmuparser-dev libre2-dev
    # tcmalloc, the tessly command's allocator
    libgoogle-perftools-dev
    clang libclang-rt-14-dev valgrind
    # the layout and lint checks CI runs
    clang-format clang-tidy
    # a second DXF reader, to check the drawings tessly writes; with
    # python3-openpyxl, what examples/make_site_plan.py needs
    python3-ezdxf python3-openpyxl
)
# LibreOffice Calc, headless, and the UNO bridge for python3: the second
# spreadsheet application behind ExcelCell fields. Without what they
# recommend (fonts, Java, desktop integration), which reading cells needs not.
lean_packages=(libreoffice-calc-nogui python3-uno)

missing() {
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
    done
}
mapfile -t missing_packages < <(missing "${packages[@]}")
mapfile -t missing_lean < <(missing "${lean_packages[@]}")
if ((${#missing_packages[@]} + ${#missing_lean[@]})); then
    echo "installing: ${missing_packages[*]} ${missing_lean[*]}"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    if ((${#missing_packages[@]})); then
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing_packages[@]}" >/dev/null
    fi
    if ((${#missing_lean[@]})); then
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing_lean[@]}" >/dev/null
    fi
fi
