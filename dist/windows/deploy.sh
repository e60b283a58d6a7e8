#!/usr/bin/env bash
# Lays out the Windows program's folder: what `cmake --install` puts there, the Qt plugins the
# programs load at run time, every DLL the binaries import (found by reading their import tables:
# no Windows-only deployment tool runs on Debian), the licence texts, all stripped.
# Usage: deploy.sh BUILD_DIR DEPS_PREFIX OUT_DIR
set -euo pipefail
build="$1" prefix="$2" out="$3"
triple=x86_64-w64-mingw32

rm -rf "$out"
cmake --install "$build" --prefix "$out" >/dev/null

# Loaded by name at run time, so no import table mentions them.
plugins=(
    platforms/qwindows.dll
    styles/qwindowsvistastyle.dll
    imageformats/qjpeg.dll imageformats/qgif.dll imageformats/qico.dll
    tls/qschannelbackend.dll
    sqldrivers/qsqlite.dll
    multimedia/windowsmediaplugin.dll
)
for p in "${plugins[@]}"; do
    mkdir -p "$out/$(dirname "$p")"
    cp "$prefix/plugins/$p" "$out/$p"
done

# Where the DLLs come from, and where Windows' own live (wine keeps a copy of each of those).
sources=("$prefix/bin" "$prefix/taglib/bin" "/usr/lib/gcc/$triple/12-posix" "/usr/$triple/lib" "/usr/$triple/bin")
system_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows

imports() { "$triple-objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p'; }

declare -A placed=()
pending=()
while IFS= read -r -d '' f; do pending+=("$f"); placed["$(basename "${f,,}")"]=1; done \
    < <(find "$out" -type f \( -name '*.exe' -o -name '*.dll' \) -print0)
missing=()
while ((${#pending[@]})); do
    file="${pending[0]}"
    pending=("${pending[@]:1}")
    for dll in $(imports "$file"); do
        key="${dll,,}"
        [[ -n "${placed[$key]:-}" ]] && continue
        found=""
        for dir in "${sources[@]}"; do
            match=$(find "$dir" -maxdepth 1 -iname "$dll" -print -quit 2>/dev/null || true)
            [[ -n "$match" ]] && { found="$match"; break; }
        done
        if [[ -n "$found" ]]; then
            cp "$found" "$out/"
            placed[$key]=1
            pending+=("$out/$(basename "$found")")
        elif [[ -e "$system_dlls/$key" || "$key" == api-ms-win-* || "$key" == ext-ms-win-* ]]; then
            placed[$key]=1 # Windows' own
        else
            missing+=("$dll (imported by $(basename "$file"))")
            placed[$key]=1
        fi
    done
done
if ((${#missing[@]})); then
    printf 'deploy: not found: %s\n' "${missing[@]}" >&2
    exit 1
fi

find "$out" -type f \( -name '*.exe' -o -name '*.dll' \) -exec "$triple-strip" --strip-unneeded {} +

mkdir -p "$out/licenses"
cp "$prefix"/licenses/* "$out/licenses/"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$out/licenses/MinGW-GCC-runtime.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$out/licenses/MinGW-w64.txt"
cp /usr/share/doc/libz-mingw-w64/copyright "$out/licenses/zlib.txt"
