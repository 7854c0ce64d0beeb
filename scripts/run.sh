#!/usr/bin/env bash
# Installs what is missing, builds glimfant and runs the demo in this terminal.
# Arguments are passed to glimfant (try --help).
set -euo pipefail
glimfant_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$glimfant_root/scripts/deps.sh"
glimfant_install_missing
glimfant_build "$glimfant_root/build" -DGLIMFANT_TESTS=OFF -DGLIMFANT_BENCH=OFF
exec "$glimfant_root/build/glimfant" "$@"
