#!/usr/bin/env bash
# The first command on a fresh machine: installs what is missing, builds,
# and runs the main job on the bundled example drawing.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
build/bin/tessly eval examples/site-plan.json
