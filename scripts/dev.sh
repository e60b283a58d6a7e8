#!/usr/bin/env bash
# The two entry points of the README:
#   scripts/dev.sh run   set up, build and open the window (offline demonstration site)
#   scripts/dev.sh test  set up, build and run the whole test suite
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ZAVLEN_BUILD_DIR:-$root/build}"
mode="${1:-}"

case "$mode" in
    run | test) ;;
    *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel "$(nproc)"

if [[ "$mode" == run ]]; then
    exec "$build/app/zavlen-video" --demo
fi

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d /tmp/zavlen-runtime.XXXXXX)
chmod 700 "$XDG_RUNTIME_DIR"
# Tests must never reach the outside: no proxy from the environment either.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
cd "$build"
ctest --output-on-failure --timeout 300 -j "$(nproc)"
