#!/usr/bin/env bash
# Builds the native scanner and scans a volume image or block device.
#
#   ./run.sh          the bundled sample image
#   ./run.sh PATH     an image or block device of your own
set -euo pipefail

source_path=${1:-}
if [[ -e $source_path ]]; then
    # A relative path is resolved before leaving the caller's folder.
    source_path=$(realpath -- "$source_path")
fi
cd "$(dirname "$0")"

tools/setup/install-deps.sh native
build=build/native
# Build chatter goes to standard error, so standard output is the scan result alone.
{
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$build" -j2 --target kestrin-scan
} >&2

if [[ -z $source_path ]]; then
    archive=tests/fixtures/sample.img.xz
    source_path=$build/fixtures/sample.img
    if [[ ! $source_path -nt $archive ]]; then
        mkdir -p "$(dirname "$source_path")"
        xz -dc "$archive" >"$source_path.part"
        mv "$source_path.part" "$source_path"
    fi
fi
exec "$build/tools/kestrin-scan/kestrin-scan" "$source_path"
