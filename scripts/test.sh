#!/usr/bin/env bash
# Fresh machine to green tests: install what is missing, check formatting,
# build everything and run every test with CTest; then build everything again
# with the address and undefined-behaviour sanitizers and run the tests there.
#   MC_SANITIZE=0   skip the sanitizer pass (a quick local run)
# Extra arguments go to both ctest runs (e.g. -R tst_crash).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

bash scripts/setup.sh
bash scripts/check-format.sh
python3 scripts/check-log-names.py

BUILD_DIR=${BUILD_DIR:-build}
SAN_BUILD_DIR=${SAN_BUILD_DIR:-build-sanitize}
JOBS=${JOBS:-$(nproc)}
export QT_QPA_PLATFORM=offscreen

# One build and its tests; the rest of the arguments go to cmake.
build_and_test() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$dir" -j "$JOBS"
  (cd "$dir" && ctest --output-on-failure -j "$JOBS" "${CTEST_ARGS[@]}")
}

CTEST_ARGS=("$@")
SECONDS=0
build_and_test "$BUILD_DIR" -DMC_BENCH=OFF ${CI:+-DMC_WERROR=ON}
echo "test: build and tests took ${SECONDS} s"

if [ "${MC_SANITIZE:-1}" = 0 ]; then
  exit 0
fi

# Every process the tests start (module, demo host, simulator, helpers) is
# built with the sanitizers and inherits these options. Reports also go to
# files, so that one from a child process whose exit code no test looks at
# still fails the run.
REPORTS="$ROOT/$SAN_BUILD_DIR/sanitizer-reports"
rm -rf "$REPORTS"
mkdir -p "$REPORTS"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=0:log_path=$REPORTS/asan"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$REPORTS/ubsan"
export LSAN_OPTIONS="suppressions=$ROOT/tests/sanitizers/lsan.supp:print_suppressions=0"

SECONDS=0
status=0
# Warnings are the normal build's business; the sanitizers add false ones of their own.
build_and_test "$SAN_BUILD_DIR" -DMC_SANITIZE=ON -DMC_WERROR=OFF || status=$?
echo "test: sanitizer build and tests took ${SECONDS} s"

if compgen -G "$REPORTS/*" >/dev/null; then
  echo "test: sanitizer reports:"
  for f in "$REPORTS"/*; do
    echo "==== $f"
    cat "$f"
  done
  exit 1
fi
exit $status
