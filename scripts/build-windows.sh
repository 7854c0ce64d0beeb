#!/usr/bin/env bash
# Cross-builds glimfant.exe for 64-bit Windows with Debian's mingw-w64: one
# static program that needs no DLL beyond Windows' own. Installs the cross
# compiler when it is missing.
# Usage: scripts/build-windows.sh [build-folder [cmake arguments...]]
#        (default build-windows; the program is build-folder/glimfant.exe)
set -euo pipefail
glimfant_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$glimfant_root/scripts/deps.sh"
glimfant_install_missing "${glimfant_windows_packages[@]}"

dir=${1:-$glimfant_root/build-windows}
shift $(( $# > 0 ? 1 : 0 ))
glimfant_build "$dir" -DCMAKE_TOOLCHAIN_FILE="$glimfant_root/cmake/mingw-w64-x86_64.cmake" \
    -DGLIMFANT_TESTS=OFF -DGLIMFANT_BENCH=OFF "$@"
echo "glimfant: built $dir/glimfant.exe"
