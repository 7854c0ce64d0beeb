#!/usr/bin/env bash
# Installs the Debian packages glimfant needs to build, run and test, when any
# is missing. Sourced by run.sh and test.sh.
glimfant_packages=(cmake g++ make ninja-build pkg-config ccache libsdl2-dev libmpg123-dev
                   libasound2-dev help2man dpkg-dev
                   libavcodec-dev libavformat-dev libavutil-dev zlib1g-dev unifont ffmpeg
                   libncurses-dev
                   libgtest-dev libbenchmark-dev tmux python3-pyte sox lame time
                   pulseaudio pulseaudio-utils libpulse-dev)
glimfant_packages+=(asciinema)  # recordings are checked with a real asciicast client
glimfant_packages+=(console-setup-linux)  # Debian's console fonts, whose glyphs the stand-ins are checked against
glimfant_packages+=(xvfb openbox xdotool x11-utils)  # the window's tests: a virtual X server, its window manager, keys and xprop
glimfant_packages+=(telnet netcat-openbsd curl haproxy)  # the server is watched with real clients, and behind a proxy
glimfant_packages+=(libssh-dev openssh-client openssh-server)  # ssh served with libssh; OpenSSH's client and sshd test it

# The Windows cross build; its tests under wine; the build with clang and libc++.
# GoogleTest is built from Debian's source package for both (googletest).
# The Windows window's glyphs are drawn from Unifont at build time by a
# program built for the build machine (g++, zlib).
glimfant_windows_packages=(cmake make ninja-build ccache g++-mingw-w64-x86-64-posix g++ zlib1g-dev unifont)
glimfant_wine_packages=(wine64 googletest tmux sox lame pulseaudio xvfb openbox xdotool x11-utils ffmpeg)
glimfant_clang_packages=(clang libc++-dev libc++abi-dev googletest)
glimfant_fuzz_packages=(clang)  # libFuzzer comes with Debian's clang
# The page for web browsers (emscripten, offline) and its test in Debian's
# chromium, driven through playwright-core from npm (tests/web; node 20 or later).
glimfant_web_packages=(cmake make ccache g++ zlib1g-dev unifont emscripten chromium nodejs)

glimfant_install_missing() {  # the packages named, or else glimfant_packages
    local missing=() p wanted=("$@")
    [ $# -eq 0 ] && wanted=("${glimfant_packages[@]}")
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "glimfant: these Debian packages are missing: ${missing[*]}" >&2
        echo "glimfant: run this command as root, or first: sudo apt-get install ${missing[*]}" >&2
        exit 1
    fi
    echo "glimfant: installing ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}" >/dev/null ||
        { apt-get update >/dev/null && apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}" >/dev/null; } ||
        { echo "glimfant: apt-get could not install: ${missing[*]}" >&2; exit 1; }
}

glimfant_build() {  # $1: build folder, then extra cmake arguments
    local dir=$1 generator="Unix Makefiles"; shift
    command -v ninja >/dev/null && generator=Ninja
    # A folder configured before with another generator starts again.
    if [ -f "$dir/CMakeCache.txt" ] && ! grep -qx "CMAKE_GENERATOR:INTERNAL=$generator" "$dir/CMakeCache.txt"; then
        rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
    fi
    cmake -G "$generator" -S "$glimfant_root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null &&
        cmake --build "$dir" -j"$(nproc)"
}
