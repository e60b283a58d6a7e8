#!/usr/bin/env bash
# Builds what the Windows program links against, for x86_64-w64-mingw32, from Debian's own source packages:
# Qt 6.4 (qtbase, qtmultimedia with Windows Media Foundation, schannel for TLS), SQLite inside Qt's driver,
# and TagLib. Debian ships none of them for MinGW, and nothing may come from outside its archive.
#
# The result is a cache outside the checkout, one folder per set of source versions; a folder counts only
# once its stamp is written, so an interrupted build is resumed or redone, never taken for a whole one.
# Prints the cache folder on standard output when done; everything else goes to standard error.
set -euo pipefail

# Raise when the recipe below changes what ends up in the cache.
recipe=1
cache_root="${ZAVLEN_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zavlen-windows}"
jobs="${ZAVLEN_JOBS:-$(nproc)}"
triple=x86_64-w64-mingw32

. "$(dirname "$0")/common.sh"

stage 1/7 "host packages"
ZAVLEN_WINDOWS=1 "$(dirname "$0")/../setup.sh" >&2

mkdir -p "$cache_root"
apt_dir="$cache_root/apt"
mkdir -p "$apt_dir/lists/partial"
# The system's entries with their sources too, in lists of our own: the system's lists are left alone.
sed -e 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources > "$apt_dir/debian.sources"
rm -f "$apt_dir/src.sources"
apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt_dir" -o "Dir::State::Lists=$apt_dir/lists")

stage 2/7 "source packages"
apt-get "${apt_opts[@]}" update -qq >&2
version_of() { apt-cache "${apt_opts[@]}" showsrc "$1" | sed -n 's/^Version: //p' | sort -V | tail -n 1; }
v_qtbase=$(version_of qt6-base)
v_qtmm=$(version_of qt6-multimedia)
v_sqlite=$(version_of sqlite3)
v_taglib=$(version_of taglib)
for v in "$v_qtbase" "$v_qtmm" "$v_sqlite" "$v_taglib"; do
    [[ -n "$v" ]] || { say "a source package is missing from Debian's archive"; exit 1; }
done
key="qt-$v_qtbase+mm-$v_qtmm+sqlite-$v_sqlite+taglib-$v_taglib+r$recipe"
key=${key//[:~]/_}
prefix="$cache_root/$key"
work="$cache_root/$key.work"
say "   qt6-base $v_qtbase, qt6-multimedia $v_qtmm, sqlite3 $v_sqlite, taglib $v_taglib"

if [[ -f "$prefix/.complete" ]]; then
    say "   cached: $prefix"
    echo "$prefix"
    exit 0
fi

# One build at a time per cache.
exec 9>"$cache_root/.lock"
flock 9

done_stage() { [[ -f "$prefix/.done-$1" ]]; }
mark_stage() { touch "$prefix/.done-$1"; }

mkdir -p "$prefix/licenses" "$work/src"
src="$work/src"
if [[ ! -f "$src/.fetched" ]]; then
    (cd "$src" && apt-get "${apt_opts[@]}" source --download-only \
        "qt6-base=$v_qtbase" "qt6-multimedia=$v_qtmm" "sqlite3=$v_sqlite" "taglib=$v_taglib" >&2)
    (cd "$src" && apt-get "${apt_opts[@]}" download libwine-dev >&2)
    touch "$src/.fetched"
fi

cat > "$prefix/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER   $triple-gcc-posix)
set(CMAKE_CXX_COMPILER $triple-g++-posix)
set(CMAKE_RC_COMPILER  $triple-windres)
set(CMAKE_AR     /usr/bin/$triple-gcc-ar-posix CACHE FILEPATH "ar")
set(CMAKE_RANLIB /usr/bin/$triple-gcc-ranlib-posix CACHE FILEPATH "ranlib")
set(CMAKE_FIND_ROOT_PATH /usr/$triple $prefix)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

# Unpacks a source package afresh (a half-patched tree is never reused).
unpack() {
    local dsc="$1" dir="$2"; shift 2
    rm -rf "$dir"
    dpkg-source "$@" -x "$dsc" "$dir" >/dev/null 2>&1 || dpkg-source "$@" -x "$dsc" "$dir" >&2
}

stage 3/7 "SQLite (the amalgamation Qt's driver compiles in)"
if ! done_stage sqlite; then
    unpack "$(ls "$src"/sqlite3_*.dsc)" "$work/sqlite"
    (cd "$work/sqlite" && ./configure --disable-tcl >"$work/sqlite.log" 2>&1 && make sqlite3.c >>"$work/sqlite.log" 2>&1) \
        || { tail -n 30 "$work/sqlite.log" >&2; exit 1; }
    # SQLite is in the public domain; its blessing is the notice that travels with it.
    awk '/The author disclaims copyright/ { p = 1 } p { print; if (++n == 8) exit }' "$work/sqlite/sqlite3.c" \
        > "$prefix/licenses/SQLite.txt"
    mark_stage sqlite
fi

stage 4/7 "qtbase (the longest step: about 15 minutes on two cores)"
if ! done_stage qtbase; then
    qtsrc="$work/qtbase"
    if [[ ! -f "$work/qtbase.prepared" ]]; then
        unpack "$(ls "$src"/qt6-base_*.dsc)" "$qtsrc" --skip-patches
        # Only Debian's security fixes: its other patches are about Debian's own layout and architectures.
        for p in "$qtsrc"/debian/patches/cve-*; do patch -d "$qtsrc" -p1 -s < "$p"; done
        # The repacked source lacks two third-party pieces; both have copies in Debian.
        mkdir -p "$qtsrc/src/3rdparty/sqlite" "$qtsrc/src/3rdparty/wintab"
        cp "$work/sqlite/sqlite3.c" "$work/sqlite/sqlite3.h" "$qtsrc/src/3rdparty/sqlite/"
        rm -rf "$work/wine" && dpkg-deb -x "$(ls "$src"/libwine-dev_*.deb)" "$work/wine"
        cp "$work/wine/usr/include/wine/wine/windows/pktdef.h" "$qtsrc/src/3rdparty/wintab/"
        awk '{ print }
             /^#define __WINE_WINTAB_H/ {
               print "#ifndef API"; print "#define API WINAPI"; print "#endif"
               print "#ifndef DECL_WINELIB_TYPE_AW"
               print "#ifdef UNICODE"
               print "#define DECL_WINELIB_TYPE_AW(type) typedef type##W type;"
               print "#define WINELIB_NAME_AW(func) func##W"
               print "#else"
               print "#define DECL_WINELIB_TYPE_AW(type) typedef type##A type;"
               print "#define WINELIB_NAME_AW(func) func##A"
               print "#endif"
               print "#endif" }' \
            "$work/wine/usr/include/wine/wine/windows/wintab.h" > "$qtsrc/src/3rdparty/wintab/wintab.h"
        # Without Direct2D, Gui does not build the DirectWrite font database the platform plugin asks for.
        sed -i -e 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
               -e 's|^#include <QtGui/private/qtgui-config_p.h>$|&\n#include <QtGui/private/qtguiglobal_p.h>|' \
            "$qtsrc/src/plugins/platforms/windows/qwindowsintegration.cpp"
        cp "$qtsrc/LICENSES/LGPL-3.0-only.txt" "$prefix/licenses/Qt-LGPL-3.0.txt"
        cp "$qtsrc/LICENSES/GPL-3.0-only.txt" "$prefix/licenses/Qt-GPL-3.0.txt"
        touch "$work/qtbase.prepared"
    fi
    mkdir -p "$work/qtbase-build"
    if [[ ! -f "$work/qtbase-build/build.ninja" ]]; then
        (cd "$work/qtbase-build" && "$qtsrc/configure" -prefix "$prefix" -release -shared -nomake tests -nomake examples \
            -qt-host-path /usr -no-pkg-config -no-dbus -no-icu -no-opengl -no-openssl -schannel -no-zstd \
            -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz \
            -sql-sqlite -qt-sqlite -no-sql-odbc -no-sql-psql -no-sql-mysql \
            -no-feature-printsupport -no-feature-direct2d -no-feature-vulkan \
            -- -DCMAKE_TOOLCHAIN_FILE="$prefix/toolchain.cmake" \
               -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake) > "$work/qtbase-configure.log" 2>&1 \
            || { rm -f "$work/qtbase-build/build.ninja"; tail -n 40 "$work/qtbase-configure.log" >&2; exit 1; }
        grep -q 'Schannel .* yes' "$work/qtbase-configure.log" || { say "   qtbase: schannel is off"; exit 1; }
    fi
    logged qtbase "$work/qtbase-build.log" nice -n 10 cmake --build "$work/qtbase-build" --parallel "$jobs"
    cmake --install "$work/qtbase-build" >/dev/null
    mark_stage qtbase
fi

stage 5/7 "qtmultimedia (Windows Media Foundation)"
if ! done_stage qtmultimedia; then
    mmsrc="$work/qtmultimedia"
    if [[ ! -f "$work/qtmultimedia.prepared" ]]; then
        unpack "$(ls "$src"/qt6-multimedia_*.dsc)" "$mmsrc" --skip-patches
        # Only the host's shader compiler is needed, not a Windows build of Qt Shader Tools.
        sed -i 's/^find_package(Qt6 COMPONENTS ShaderTools)$/if(QT_HOST_PATH)\n    set(__zavlen_shader_tool_deps "Qt6ShaderToolsTools\\;${PROJECT_VERSION}")\n    _qt_internal_find_tool_dependencies(ZavlenShaders __zavlen_shader_tool_deps)\nelse()\n    find_package(Qt6 COMPONENTS ShaderTools)\nendif()/' \
            "$mmsrc/src/multimedia/CMakeLists.txt"
        # Its sources name Windows headers in Windows' case; MinGW's are lower case.
        mkdir -p "$work/casefix"
        for h in Mferror Mfidl Mfreadwrite Wmcodecdsp Dbt InitGuid Functiondiscoverykeys_devpkey; do
            lower=$(echo "$h" | tr '[:upper:]' '[:lower:]')
            echo "#include <$lower.h>" > "$work/casefix/$h.h"
        done
        echo '#include <QtCore/qurl.h>' > "$work/casefix/QUrl.h"
        touch "$work/qtmultimedia.prepared"
    fi
    mkdir -p "$work/qtmultimedia-build"
    if [[ ! -f "$work/qtmultimedia-build/build.ninja" ]]; then
        wmf=()
        for l in mf mfplat mfuuid mfcore propsys; do
            upper=$(echo "$l" | tr '[:lower:]' '[:upper:]')
            wmf+=("-DWMF_${upper}_LIBRARY=/usr/$triple/lib/lib$l.a")
        done
        (cd "$work/qtmultimedia-build" && "$prefix/bin/qt-configure-module" "$mmsrc" -- \
            -DCMAKE_CXX_FLAGS="-idirafter $work/casefix" "${wmf[@]}") > "$work/qtmultimedia-configure.log" 2>&1 \
            || { rm -f "$work/qtmultimedia-build/build.ninja"; tail -n 40 "$work/qtmultimedia-configure.log" >&2; exit 1; }
        grep -q 'Windows Media Foundation .* yes' "$work/qtmultimedia-configure.log" \
            || { rm -f "$work/qtmultimedia-build/build.ninja"; say "   qtmultimedia: Windows Media Foundation not found"; exit 1; }
    fi
    logged qtmultimedia "$work/qtmultimedia-build.log" nice -n 10 cmake --build "$work/qtmultimedia-build" --parallel "$jobs"
    cmake --install "$work/qtmultimedia-build" >/dev/null
    mark_stage qtmultimedia
fi

stage 6/7 "TagLib"
if ! done_stage taglib; then
    tsrc="$work/taglib"
    unpack "$(ls "$src"/taglib_*.dsc)" "$tsrc"
    # Debian's build takes utf8-cpp from the system; a cross build takes the copy in the tarball.
    patch -d "$tsrc" -p1 -R -s < "$tsrc/debian/patches/0001-Use-system-libutf8cpp-library.patch"
    rm -rf "$work/taglib-build"
    cmake -S "$tsrc" -B "$work/taglib-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$prefix/toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$prefix/taglib" \
        -DBUILD_SHARED_LIBS=ON -DWITH_ZLIB=ON -DBUILD_BINDINGS=OFF -DBUILD_TESTING=OFF > "$work/taglib-configure.log" 2>&1 \
        || { tail -n 40 "$work/taglib-configure.log" >&2; exit 1; }
    logged taglib "$work/taglib-build.log" cmake --build "$work/taglib-build" --parallel "$jobs"
    cmake --install "$work/taglib-build" >/dev/null
    cp "$tsrc/COPYING.LGPL" "$prefix/licenses/TagLib-LGPL-2.1.txt"
    mark_stage taglib
fi

stage 7/7 "done"
touch "$prefix/.complete"
rm -rf "$work"
say "   cache: $prefix ($(du -sh "$prefix" | cut -f1))"
echo "$prefix"
