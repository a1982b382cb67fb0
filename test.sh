#!/usr/bin/env bash
# Builds everything and runs every test: the normal build (all tests and the
# fuzz corpora), then the unit tests again under AddressSanitizer +
# UndefinedBehaviorSanitizer, and again under ThreadSanitizer.
# Installs the Debian packages it needs first (as root; otherwise it prints
# the apt-get line to run).
set -euo pipefail
cd "$(dirname "$0")"

packages=(
    cmake ninja-build g++ clang pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    libsdl2-dev libpango1.0-dev fonts-dejavu-core fonts-wqy-microhei libssl-dev ca-certificates
    ngircd xvfb xdotool x11-apps x11-utils x11-xserver-utils xclip openbox libxtst-dev
    desktop-file-utils
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

jobs=$(nproc)
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
# glib hands out slices from its own pools unless told not to, which hides leaks.
export G_SLICE=always-malloc
# Suppressions name library internals only (fontconfig, cairo); see the files.
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"

build() { # <dir> <label filter or empty> <cmake options...>
    local dir=$1 label=$2
    shift 2
    echo "=== $dir ==="
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    local filter=()
    [ -n "$label" ] && filter=(-L "$label")
    # ThreadSanitizer needs a predictable address space layout.
    local wrap=()
    [ "$dir" = build-tsan ] && wrap=(setarch "$(uname -m)" -R)
    (cd "$dir" && "${wrap[@]}" ctest -j "$jobs" --output-on-failure "${filter[@]}")
}

# Without link-time optimisation: it would redo the optimisation in each of
# some forty test executables' links, minutes the tests gain nothing from
# (./run.sh's build of the program keeps it).
build build "" -DPELMOR_LTO=OFF
build build-asan unit -DPELMOR_SANITIZE=address,undefined -DPELMOR_BENCH=OFF -DPELMOR_E2E=OFF
build build-tsan unit -DPELMOR_SANITIZE=thread -DPELMOR_BENCH=OFF -DPELMOR_E2E=OFF
echo "All tests passed."
