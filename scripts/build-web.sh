#!/usr/bin/env bash
# Builds the page that shows glimfant in a web browser: the engine as
# WebAssembly (Debian's emscripten, offline), its JavaScript, the glyphs and
# the page, in one folder that any static file server can host. Installs
# emscripten when it is missing.
# Usage: scripts/build-web.sh [page-folder [cmake arguments...]]
#        (default build-web; CMake's own files go in page-folder/.cmake)
set -euo pipefail
glimfant_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$glimfant_root/scripts/deps.sh"
glimfant_install_missing "${glimfant_web_packages[@]}"

dir=${1:-$glimfant_root/build-web}
shift $(( $# > 0 ? 1 : 0 ))
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
glimfant_build "$dir/.cmake" -DCMAKE_TOOLCHAIN_FILE="$glimfant_root/cmake/emscripten.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DGLIMFANT_WEB_DIR="$dir" "$@"
echo "glimfant: the page is in $dir (any static file server hosts it: python3 -m http.server -d $dir)"
