#!/usr/bin/env bash
# Builds Pelmor (optimised, once; later runs rebuild only what changed) and
# starts it. Installs the Debian packages it needs first (as root;
# otherwise it prints the apt-get line to run).
set -euo pipefail
cd "$(dirname "$0")"

packages=(
    cmake ninja-build g++ pkg-config
    libsdl2-dev libpango1.0-dev fonts-dejavu-core fonts-wqy-microhei libssl-dev ca-certificates
)
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if ((${#missing[@]})); then
    if [ "$(id -u)" -eq 0 ]; then
        apt-get update
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    else
        echo "Missing packages; install them with:"
        echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}"
        exit 1
    fi
fi

dir=build-run
if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DPELMOR_TESTS=OFF -DPELMOR_BENCH=OFF >/dev/null
fi
cmake --build "$dir" --target pelmor
exec "$dir/windows/pelmor" "$@"
