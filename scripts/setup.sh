#!/usr/bin/env bash
# Installs what lumora needs to build and test on Debian, then builds it in build/<kind>.
# Usage: scripts/setup.sh release|test|sanitize|fuzz
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:-release}
packages=(g++ cmake ninja-build libgtest-dev libpng-dev libjpeg62-turbo-dev libtiff-dev
          zlib1g-dev libassimp-dev assimp-utils imagemagick python3 man-db
          openmpi-bin libopenmpi-dev)
# The fuzz targets are built with clang, whose runtimes bring libFuzzer and the sanitizers.
if [ "$kind" = fuzz ]; then
    packages+=(clang libclang-rt-14-dev)
fi
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

case "$kind" in
    release) options=(-DCMAKE_BUILD_TYPE=Release -DLUMORA_TESTS=OFF) ;;
    test) options=(-DCMAKE_BUILD_TYPE=Release -DLUMORA_WERROR=ON) ;;
    sanitize) options=(-DCMAKE_BUILD_TYPE=Debug -DLUMORA_WERROR=ON -DLUMORA_SANITIZE=ON) ;;
    fuzz) options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DLUMORA_WERROR=ON
                   -DLUMORA_FUZZ=ON -DLUMORA_TESTS=OFF) ;;
    *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac
cmake -S . -B "build/$kind" -G Ninja "${options[@]}"
cmake --build "build/$kind" -j "$(nproc)"
