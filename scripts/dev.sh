#!/usr/bin/env bash
# The two entry points of the README:
#   scripts/dev.sh run   set up, build and open the window (offline demonstration site)
#   scripts/dev.sh test     set up, build and run the whole test suite
#   scripts/dev.sh package  set up, build in Release and make the Debian package; prints its path
#   scripts/dev.sh windows  set up, cross-build the Windows program (Qt built once into a cache), its
#                           folder, zip and installer; prints the installer's path
#   scripts/dev.sh windows-test  run the Windows build's tests, window and installer under wine
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ZAVLEN_BUILD_DIR:-$root/build}"
mode="${1:-}"

case "$mode" in
    run | test | package) ;;
    windows) exec "$root/scripts/windows/build.sh" ;;
    windows-test) exec "$root/scripts/windows/test.sh" ;;
    *) echo "usage: $0 run|test|package|windows|windows-test" >&2; exit 2 ;;
esac

if [[ "$mode" == package ]]; then
    ZAVLEN_PACKAGE=1 "$root/scripts/setup.sh"
    build="${ZAVLEN_PACKAGE_BUILD_DIR:-$root/build-package}"
    # Debian's hardening and reproducibility flags, all of them, as its own packages are built with.
    export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
    cd "$root"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZAVLEN_BUILD_TESTS=OFF \
          -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
          -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
          -DCMAKE_MODULE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >&2
    cmake --build "$build" --parallel "$(nproc)" >&2
    rm -f "$build"/zavlen_*.deb
    (cd "$build" && cpack -G DEB >&2)
    ls "$build"/zavlen_*.deb
    exit 0
fi

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
