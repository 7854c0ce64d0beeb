#!/usr/bin/env bash
# Tests the page in a real browser: builds build-web/ when anything changed
# (scripts/build-web.sh), installs playwright-core into tests/web/node_modules
# when it is missing (npm; no browser download: it drives Debian's chromium),
# and runs tests/web/page_test.mjs against the headless program given
# (default build/glimfant, built when missing), then tests/web/serve_page_test.mjs:
# the page as that program's --serve hands it to the browser. With --screenshot, the test's
# picture of the page replaces docs/web.png.
# Usage: scripts/test-web.sh [--screenshot] [path/to/glimfant]
set -euo pipefail
glimfant_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$glimfant_root/scripts/deps.sh"
glimfant_install_missing "${glimfant_web_packages[@]}"

screenshot=()
if [ "${1:-}" = --screenshot ]; then
    screenshot=("$glimfant_root/docs/web.png")
    shift
fi
native=${1:-$glimfant_root/build/glimfant}
if [ ! -x "$native" ]; then
    [ $# -eq 0 ] || { echo "glimfant: no program at $native" >&2; exit 2; }
    cmake -S "$glimfant_root" -B "$glimfant_root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$glimfant_root/build" --target glimfant -j"$(nproc)" >/dev/null
fi
node_major=$(node -p 'process.versions.node.split(".")[0]')
if [ "$node_major" -lt 20 ]; then
    echo "glimfant: the browser test needs node 20 or later (playwright-core); this is $(node --version)" >&2
    exit 1
fi

"$glimfant_root/scripts/build-web.sh" >/dev/null
tests_web="$glimfant_root/tests/web"
if [ ! -d "$tests_web/node_modules/playwright-core" ]; then
    command -v npm >/dev/null || { echo "glimfant: npm is missing (it comes with node)" >&2; exit 1; }
    (cd "$tests_web" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
echo "== the page in chromium"
node "$tests_web/page_test.mjs" "$glimfant_root/build-web" "$native" "${screenshot[@]}"
echo "== the page in chromium, from glimfant --serve"
node "$tests_web/serve_page_test.mjs" "$glimfant_root/build-web" "$native"
