#!/usr/bin/env bash
# Installs what is missing, builds glimfant with its tests and runs every test.
set -euo pipefail
glimfant_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$glimfant_root/scripts/deps.sh"
glimfant_install_missing
glimfant_build "$glimfant_root/build"
cd "$glimfant_root/build"
ctest --output-on-failure -j"$(nproc)" --timeout 300
