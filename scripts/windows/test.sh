#!/usr/bin/env bash
# Runs the Windows build's tests under wine: the test suite through CTest (the same loopback
# servers as on Linux), the window's picture of the demonstration's archived page, and the
# installer's silent install and uninstall in a fresh wine prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out="${ZAVLEN_WINDOWS_BUILD_DIR:-$root/build-windows}"
. "$root/scripts/windows/common.sh"

ZAVLEN_WINDOWS=1 ZAVLEN_WINDOWS_TEST=1 "$root/scripts/setup.sh" >&2
[[ -f "$out/build/CMakeCache.txt" ]] || "$root/scripts/windows/build.sh" >/dev/null
prefix=$(sed -n 's/^ZAVLEN_WINDOWS_DEPS:UNINITIALIZED=//p; s/^ZAVLEN_WINDOWS_DEPS:PATH=//p' "$out/build/CMakeCache.txt" | head -n 1)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/build/CMakeCache.txt")
failed=0

# A prefix of our own, made afresh: nothing of an earlier run or of the user's own wine counts.
fresh_prefix() {
    rm -rf "$1"
    WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$1" wineserver -w
}

stage "windows-test 1/3" "the test suite under wine"
export ZAVLEN_WINEPREFIX="$out/wine-tests"
fresh_prefix "$ZAVLEN_WINEPREFIX"
export QT_QPA_PLATFORM=offscreen
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
if ! (cd "$out/build" && ctest --output-on-failure --timeout 300 -j "$(nproc)" >&2); then
    failed=1
fi
WINEPREFIX="$ZAVLEN_WINEPREFIX" wineserver -k 2>/dev/null || true

stage "windows-test 2/3" "the window's picture of the archived Meipai page"
cmake --build "$out/host" --target zavlen-check-screenshot >/dev/null
shot="$out/window-under-wine.png"
rm -f "$shot"
export ZAVLEN_WINEPREFIX="$out/wine-window"
fresh_prefix "$ZAVLEN_WINEPREFIX"
if xvfb-run -a -s "-screen 0 1024x768x24" env -u QT_QPA_PLATFORM "$root/scripts/windows/wine-run.sh" "$prefix" \
        "$out/ZavlenVideo-$version-win64/zavlen-video.exe" --demo --screenshot "$(printf 'Z:%s' "${shot//\//\\}")" \
        >"$out/window-under-wine.log" 2>&1 \
    && "$out/host/dist/windows/tools/zavlen-check-screenshot" "$shot" "$root/docs/screenshot.png" >&2; then
    say "   the window under wine shows the archived page: $shot"
else
    say "   the window under wine did not show the archived page; see $out/window-under-wine.log"
    failed=1
fi
WINEPREFIX="$ZAVLEN_WINEPREFIX" wineserver -k 2>/dev/null || true

stage "windows-test 3/3" "silent install, the installed zavlen-get, silent uninstall"
export WINEPREFIX="$out/wine-install" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
fresh_prefix "$WINEPREFIX"
installed="$WINEPREFIX/drive_c/Program Files/ZavlenAPP"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/ZavlenAPP视频助手.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZavlenVideo'
check() { if "${@:2}"; then say "   ok    $1"; else say "   FAIL  $1"; failed=1; fi; }
before=$(cd "$WINEPREFIX" && find . -path ./dosdevices -prune -o -print | sort)
wine "$out/ZavlenVideo-$version-setup.exe" /S >/dev/null 2>&1 || true
wineserver -w
check "installed under Program Files" test -f "$installed/zavlen-video.exe" -a -f "$installed/zavlen-get.exe"
check "Start-menu entry" test -f "$menu"
check "listed in Apps & features" bash -c "wine reg query '$key' /v DisplayVersion /reg:64 2>/dev/null | grep -q '$version'"
got=$(wine "$installed/zavlen-get.exe" --version 2>/dev/null | tr -d '\r')
check "the installed zavlen-get.exe --version says \"$got\"" test "$got" = "zavlen-get $version"
wine "$installed/uninstall.exe" /S >/dev/null 2>&1 || true
wineserver -w
check "uninstalled: the folder is gone" test ! -e "$installed"
check "uninstalled: the Start-menu entry is gone" test ! -e "$menu"
check "uninstalled: no longer listed" bash -c "! wine reg query '$key' /reg:64 >/dev/null 2>&1"
after=$(cd "$WINEPREFIX" && find . -path ./dosdevices -prune -o -print | sort)
left=$(comm -13 <(echo "$before") <(echo "$after") | grep -v -i -e '/temp/' -e '\.reg$' -e '/windows/' || true)
check "nothing left behind${left:+: $left}" test -z "$left"
wineserver -k 2>/dev/null || true

exit "$failed"
