#!/usr/bin/env bash
# Runs one program of the Windows build under wine: CTest's emulator for every cross-built test.
# Usage: wine-run.sh DEPS_PREFIX PROGRAM.exe [ARGS...]
set -euo pipefail
prefix="$1"; shift
winpath() { printf 'Z:%s' "${1//\//\\}"; }

export WINEPREFIX="${ZAVLEN_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/zavlen-windows/wine-tests}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
# Where the programs find Qt, TagLib and the MinGW runtime, as Windows finds DLLs: on the PATH.
export WINEPATH="$(winpath "$prefix/bin");$(winpath "$prefix/taglib/bin");$(winpath /usr/lib/gcc/x86_64-w64-mingw32/12-posix);$(winpath /usr/x86_64-w64-mingw32/lib)"
export QT_PLUGIN_PATH="$(winpath "$prefix/plugins")"
# Qt Test writes to the debugger's channel when no console is attached; under wine that is lost.
export QT_FORCE_STDERR_LOGGING=1
# Wine hands no QT_* variable to its programs, but passes WINEQT_* on under the QT_* name.
while IFS='=' read -r name _; do
    [[ "$name" == QT_* ]] && export "WINE$name=${!name}"
done < <(env)
exec wine "$@"
