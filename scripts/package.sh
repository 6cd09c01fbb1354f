#!/usr/bin/env bash
# Builds the Debian package tavik_<version>_<arch>.deb in build-package/ (BUILD_DIR): a build
# without tests and benchmarks, installed under /usr, with Debian's hardening flags.
set -euo pipefail
cd "$(dirname "$0")/.."

SETUP_PACKAGE=1 ./scripts/setup-deps.sh

dir=${BUILD_DIR:-build-package}
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$dir" -G Ninja "${launcher[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" \
    -DCMAKE_SHARED_LINKER_FLAGS="$LDFLAGS" \
    -DTAVIK_BUILD_TESTS=OFF -DTAVIK_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" --parallel "$(nproc)"

rm -f "$dir"/tavik_*.deb
(cd "$dir" && cpack -G DEB)
