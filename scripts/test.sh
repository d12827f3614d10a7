#!/usr/bin/env bash
# Fresh machine to green tests: install what is missing, check formatting,
# build everything and run every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/check-format.sh

BUILD_DIR=${BUILD_DIR:-build}
JOBS=${JOBS:-$(nproc)}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CI:+-DMC_WERROR=ON}
cmake --build "$BUILD_DIR" -j "$JOBS"

export QT_QPA_PLATFORM=offscreen
cd "$BUILD_DIR"
ctest --output-on-failure -j "$JOBS" "$@"
