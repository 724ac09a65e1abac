#!/usr/bin/env bash
# Installs the Debian packages the project needs (skipping those present), then configures and builds.
#   scripts/setup.sh            install + configure + build (build/)
#   scripts/setup.sh --deps     install only
#   scripts/setup.sh --desktop  install only the virtual display and screen-capture tools (scripts/try.sh)
#   ZRK_SANITIZE=ON scripts/setup.sh   sanitizer build in build-asan/
set -euo pipefail

PACKAGES=(
    cmake g++ ninja-build ccache pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
    libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
    libsqlite3-dev libstb-dev
    libpq-dev postgresql openssl
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    fonts-wqy-microhei
    imagemagick netpbm
    dpkg-dev
    clang libclang-rt-14-dev
)

# `--desktop`: what trying the editor under a virtual display takes (scripts/try.sh).
if [ "${1:-}" = "--desktop" ]; then
    PACKAGES=(xvfb x11-apps xdotool netpbm fonts-wqy-microhei)
fi

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -q
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

[ "${1:-}" = "--deps" ] || [ "${1:-}" = "--desktop" ] && exit 0

here=$(cd "$(dirname "$0")/.." && pwd)
if [ "${ZRK_SANITIZE:-OFF}" = "ON" ]; then
    builddir="$here/build-asan"; preset=asan
else
    builddir="$here/build"; preset=default
fi
cmake --preset "$preset" -S "$here"
cmake --build "$builddir" -j2
