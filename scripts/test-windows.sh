#!/usr/bin/env bash
# The Windows build's tests under wine: cross-builds glimfant.exe and the
# platform-independent unit tests (GoogleTest built from Debian's source with
# the same toolchain), then runs them with the Windows decoder's tests, the
# console backend in tmux and the whole show compared with the Linux build's.
# Usage: scripts/test-windows.sh [--build-only] [linux-glimfant]
#        (default build/glimfant; without one, the show is not compared;
#        --build-only makes the wine prefix and the build, and runs nothing)
set -euo pipefail
build_only=0
if [ "${1:-}" = --build-only ]; then build_only=1; shift; fi
glimfant_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$glimfant_root/scripts/deps.sh"
glimfant_install_missing "${glimfant_windows_packages[@]}" "${glimfant_wine_packages[@]}"

reference=${1:-$glimfant_root/build/glimfant}
[ -x "$reference" ] || reference=""
dir=$glimfant_root/build-windows-tests
mkdir -p "$dir"
# One wine prefix for the build's test discovery and the tests, made once:
# the first start of wine takes several seconds. No display: console
# programs need none.
export WINEPREFIX=$dir/wineprefix WINEDEBUG=-all
unset DISPLAY
[ -d "$WINEPREFIX" ] || (/usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true)
# The window's test has a prefix of its own: a wine session's desktop keeps
# the display of the program that made it, and the other tests run with none
# beside it (tests/e2e/wine_window.sh).
[ -d "$WINEPREFIX-window" ] || (WINEPREFIX=$WINEPREFIX-window /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true)

"$glimfant_root/scripts/build-windows.sh" "$dir" -DGLIMFANT_TESTS=ON "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" \
    -DGLIMFANT_GTEST_SOURCE=/usr/src/googletest -DGLIMFANT_REFERENCE_BINARY="$reference"
[ $build_only = 1 ] && exit 0
(cd "$dir" && ctest --output-on-failure -j"$(( $(nproc) + 1 ))" --timeout 300)
