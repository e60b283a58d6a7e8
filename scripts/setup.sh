#!/usr/bin/env bash
# Installs the Debian packages the project needs; quick when everything is already there.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-multimedia-dev libfontconfig-dev libqt6sql6-sqlite libtag1-dev
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
    fonts-wqy-microhei
    xvfb xauth
    desktop-file-utils appstream bash-completion zsh
)
if [[ "${ZAVLEN_BENCH:-}" == 1 ]]; then
    packages+=(libbenchmark-dev curl nginx-light)
fi
if [[ "${ZAVLEN_PACKAGE:-}" == 1 ]]; then
    packages+=(dpkg-dev file)
fi
if [[ "${ZAVLEN_WINDOWS:-}" == 1 ]]; then
    # Cross tools, Debian's sources of what Qt needs, the installer maker and wine to run what is built.
    packages+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev
               qt6-base-dev-tools qt6-tools-dev-tools qt6-shadertools-dev dpkg-dev tcl patch
               nsis zip wine wine64)
fi
if [[ "${ZAVLEN_WINDOWS_TEST:-}" == 1 ]]; then
    # The installer's stub is a 32-bit program.
    packages+=(wine32:i386)
fi
if [[ "${ZAVLEN_FUZZ:-}" == 1 ]]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
    if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo_cmd[@]}" dpkg --add-architecture i386
    fi
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
