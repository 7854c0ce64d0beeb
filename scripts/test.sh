#!/usr/bin/env bash
# Installs what is missing, builds glimfant with its tests and runs every test:
# the suite, then the suite and the whole show again under the address and
# undefined-behaviour sanitizers, the suite built with clang and libc++, and
# the Windows build's tests under wine (scripts/test-windows.sh).
set -euo pipefail
glimfant_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$glimfant_root/scripts/deps.sh"
glimfant_install_missing

glimfant_build "$glimfant_root/build"
(cd "$glimfant_root/build" && ctest --output-on-failure -j"$(nproc)" --timeout 300)

echo "== the Debian package, installed and run"
(cd "$glimfant_root/build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$glimfant_root"/build/glimfant_*.deb | head -n 1)
echo "$(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"
if dpkg-deb -f "$deb" Depends | grep -q libav; then
    echo "the package depends on FFmpeg, which only --video loads (a Recommends)" >&2
    exit 1
fi
if [ "$(id -u)" -eq 0 ]; then
    apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "$deb" >/dev/null
    /usr/bin/glimfant --version
    /usr/bin/glimfant --headless --frames 100 --dump /dev/null
    test -f /usr/share/man/man6/glimfant.6.gz
    dpkg -r glimfant >/dev/null
else
    echo "(not root: the package is built but not installed)"
fi

echo "== under the sanitizers"
asan="$glimfant_root/build-sanitize"
glimfant_build "$asan" -DGLIMFANT_SANITIZE=ON -DGLIMFANT_BENCH=OFF
# Tests build the demo's start-up many times in one process, so its
# never-freed banners are expected leaks there; the whole show below keeps
# leak checking on.
(cd "$asan" && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --output-on-failure -j"$(nproc)" --timeout 600)
for run in "--seed 1" "--seed 4242 --step 997" "--start-tick 123456 --step 61" "--seed 7 --step 3"; do
    echo "glimfant --headless $run"
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$asan/glimfant" --headless $run --dump /dev/null
done
echo "== with clang and libc++ (GoogleTest built against libc++ from source)"
glimfant_install_missing "${glimfant_clang_packages[@]}"
CC=clang CXX=clang++ glimfant_build "$glimfant_root/build-clang" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" \
    -DCMAKE_CXX_FLAGS=-stdlib=libc++ -DCMAKE_EXE_LINKER_FLAGS=-stdlib=libc++ \
    -DGLIMFANT_GTEST_SOURCE=/usr/src/googletest -DGLIMFANT_BENCH=OFF
(cd "$glimfant_root/build-clang" && ctest --output-on-failure -j"$(nproc)" --timeout 300)

echo "== the Windows build under wine"
"$glimfant_root/scripts/test-windows.sh" "$glimfant_root/build/glimfant"
echo "all tests passed"
