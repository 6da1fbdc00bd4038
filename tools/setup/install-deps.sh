#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs, and nothing when they are all there already.
#
#   tools/setup/install-deps.sh native   compiler, CMake, Ninja, GoogleTest, xz
#   tools/setup/install-deps.sh all      native, plus the MinGW-w64 cross build (python3 draws
#                                        the icon), Wine, Xvfb with a CJK font, the tools that
#                                        drive and photograph the window, the NTFS and partitioning
#                                        tools that make and check the fixture images, clang
#                                        with libFuzzer for the fuzz targets, and ncdu and gdu,
#                                        with which the tests read the JSON exports back
set -euo pipefail

native_packages=(build-essential g++ cmake ninja-build googletest xz-utils)
all_packages=(
    "${native_packages[@]}"
    mingw-w64 g++-mingw-w64-x86-64-posix python3
    wine wine64 xvfb xauth fonts-wqy-microhei xdotool imagemagick
    ntfs-3g sleuthkit dosfstools fdisk gdisk time
    clang-format clang libclang-rt-14-dev
    ncdu gdu
)

case ${1:-} in
native) wanted=("${native_packages[@]}") ;;
all) wanted=("${all_packages[@]}") ;;
*)
    echo "usage: $0 native|all" >&2
    exit 2
    ;;
esac

is_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for package in "${wanted[@]}"; do
    if ! is_installed "$package"; then
        missing+=("$package")
    fi
done
if [[ ${#missing[@]} -eq 0 ]]; then
    exit 0
fi

as_root=()
if [[ $EUID -ne 0 ]]; then
    as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
    "${missing[@]}"
