#!/usr/bin/env bash
# Sets everything up, builds and runs every test suite.
#   TAVIK_SANITIZE=1 scripts/test.sh   runs them in the ASan + UBSan build instead.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/build.sh
if [[ "${TAVIK_SANITIZE:-0}" == 1 ]]; then dir=${BUILD_DIR:-build-asan}; else dir=${BUILD_DIR:-build}; fi

export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure --parallel "$(nproc)" --timeout 600
