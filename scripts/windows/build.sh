#!/usr/bin/env bash
# Cross-builds the Windows program on Debian and packs it: the program's folder, a zip of it and an
# NSIS installer, all in the build folder; the tests are built too, for windows-test.
# Prints the installer's path on standard output; everything else goes to standard error.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out="${ZAVLEN_WINDOWS_BUILD_DIR:-$root/build-windows}"
jobs="${ZAVLEN_JOBS:-$(nproc)}"
triple=x86_64-w64-mingw32
. "$root/scripts/windows/common.sh"
mkdir -p "$out"

prefix=$("$root/scripts/windows/build-deps.sh")

stage "windows 1/4" "the build machine's picture-baking tool"
logged host-configure "$out/host-configure.log" \
    cmake -S "$root" -B "$out/host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZAVLEN_BUILD_TESTS=OFF
logged host-tool "$out/host-build.log" cmake --build "$out/host" --target zavlen-bake-pictures --parallel "$jobs"

stage "windows 2/4" "the programs and their tests, for $triple"
logged configure "$out/configure.log" \
    "$prefix/bin/qt-cmake" -S "$root" -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DZAVLEN_HOST_TOOLS="$out/host/assets" -DCMAKE_PREFIX_PATH="$prefix/taglib" \
        -DZAVLEN_WINDOWS_DEPS="$prefix" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/windows/wine-run.sh;$prefix"
logged build "$out/build.log" nice cmake --build "$out/build" --parallel "$jobs"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/build/CMakeCache.txt")
name="ZavlenVideo-$version-win64"
say "== [windows 3/4] the folder $name and its zip"
"$root/dist/windows/deploy.sh" "$out/build" "$prefix" "$out/$name"
rm -f "$out/$name.zip"
(cd "$out" && zip -qr9 "$name.zip" "$name")

say "== [windows 4/4] the installer"
# Every file by name, for the uninstaller too: it removes what it installed and nothing else.
files="$out/installer-files.nsh" unfiles="$out/installer-unfiles.nsh"
: >"$files"; : >"$unfiles"
(cd "$out/$name" && find . -type d | sort) | while read -r dir; do
    win=${dir#.}; win=${win//\//\\}
    printf 'SetOutPath "$INSTDIR%s"\n' "$win" >>"$files"
    find "$out/$name/$dir" -maxdepth 1 -type f | sort | while read -r f; do
        printf 'File "%s"\n' "$f" >>"$files"
        printf 'Delete "$INSTDIR%s\\%s"\n' "$win" "$(basename "$f")" >>"$unfiles"
    done
done
(cd "$out/$name" && find . -mindepth 1 -type d | sort -r) | while read -r dir; do
    win=${dir#.}; printf 'RMDir "$INSTDIR%s"\n' "${win//\//\\}" >>"$unfiles"
done
size_kb=$(du -sk "$out/$name" | cut -f1)
setup="$out/ZavlenVideo-$version-setup.exe"
makensis -V2 -DVERSION="$version" -DICON="$root/dist/windows/zavlen.ico" -DSIZE_KB="$size_kb" \
    -DFILES="$files" -DUNFILES="$unfiles" -DOUTFILE="$setup" "$root/dist/windows/installer.nsi" >&2
say "   $out/$name ($(du -sh "$out/$name" | cut -f1)), $name.zip ($(du -h "$out/$name.zip" | cut -f1)), $(basename "$setup") ($(du -h "$setup" | cut -f1))"
echo "$setup"
