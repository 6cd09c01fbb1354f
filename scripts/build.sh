#!/usr/bin/env bash
# Installs missing packages, configures and builds.
#   scripts/build.sh                 -> build/        (RelWithDebInfo)
#   TAVIK_SANITIZE=1 scripts/build.sh -> build-asan/  (ASan + UBSan)
#   TAVIK_WERROR=1 (and CI=true) turns warnings into errors
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup-deps.sh

if [[ "${TAVIK_SANITIZE:-0}" == 1 ]]; then
    dir=${BUILD_DIR:-build-asan}
    extra=(-DTAVIK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
else
    dir=${BUILD_DIR:-build}
    extra=()
fi

# CI treats every warning as an error; a developer's build only shows them.
if [[ "${CI:-}" == true || "${TAVIK_WERROR:-0}" == 1 ]]; then
    extra+=(-DTAVIK_WERROR=ON)
fi

cmake -S . -B "$dir" -G Ninja "${extra[@]}" >/dev/null
cmake --build "$dir" --parallel "$(nproc)"
