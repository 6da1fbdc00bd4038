#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs, and nothing when they are all there already.
#
#   tools/setup/install-deps.sh native   compiler, CMake, Ninja, GoogleTest, xz
#   tools/setup/install-deps.sh test     native, plus what ./test.sh needs: the MinGW-w64 cross
#                                        build for 64-bit Windows (python3 draws the icon), Wine,
#                                        Xvfb with a CJK font and the tools that drive the window,
#                                        the file-system makers the scanner's tests use, clang with
#                                        libFuzzer and the sanitizer runtimes, ncdu and gdu, with
#                                        which the tests read the JSON exports back, ntfs-3g, which
#                                        mounts a fixture for the scan of a folder, and The Sleuth
#                                        Kit, whose icat saves a fixture's $MFT as a file
#   tools/setup/install-deps.sh all      test, plus what the other tools use: ImageMagick for
#                                        the screenshots, the partitioning tools that make and
#                                        check the fixture images
set -euo pipefail

native_packages=(build-essential g++ cmake ninja-build googletest xz-utils)
# The 64-bit posix compiler alone: the mingw-w64 metapackage would add three more toolchains.
test_packages=(
    "${native_packages[@]}"
    g++-mingw-w64-x86-64-posix python3
    wine wine64 fonts-wine xvfb xauth fonts-wqy-microhei xdotool
    dosfstools time
    clang libclang-rt-14-dev
    ncdu gdu
    ntfs-3g sleuthkit
)
all_packages=(
    "${test_packages[@]}"
    imagemagick fdisk gdisk clang-format
)

case ${1:-} in
native) wanted=("${native_packages[@]}") ;;
test) wanted=("${test_packages[@]}") ;;
all) wanted=("${all_packages[@]}") ;;
*)
    echo "usage: $0 native|test|all" >&2
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
