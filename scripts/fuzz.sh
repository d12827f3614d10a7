#!/usr/bin/env bash
# Runs one fuzz target under libFuzzer for a while:
#   bash scripts/fuzz.sh TARGET SECONDS      (TARGET: a name under tests/fuzz/corpus)
# Builds the targets with clang in build-fuzz (libFuzzer, ASan, UBSan), fuzzes
# from the seed corpus and keeps what it learns in build-fuzz/fuzz-work/TARGET:
# new inputs in corpus/, inputs that crashed in crashes/ (copy those to
# tests/fuzz/crashers/TARGET once the fault is fixed). The repository's corpus
# is only read. Extra libFuzzer options may follow, e.g. -max_len=65536.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

if [ $# -lt 2 ]; then
  echo "usage: $0 TARGET SECONDS [libFuzzer options]" >&2
  echo "targets: $(ls tests/fuzz/corpus | tr '\n' ' ')" >&2
  exit 2
fi
TARGET=$1
TIME=$2
shift 2
if [ ! -d "tests/fuzz/corpus/$TARGET" ]; then
  echo "fuzz: no target $TARGET (targets: $(ls tests/fuzz/corpus | tr '\n' ' '))" >&2
  exit 2
fi

bash scripts/setup.sh
BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMC_FUZZ=ON -DMC_WERROR=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build "$BUILD_DIR" -j "${JOBS:-$(nproc)}" --target "fuzz_$TARGET"

WORK="$ROOT/$BUILD_DIR/fuzz-work/$TARGET"
mkdir -p "$WORK/corpus" "$WORK/crashes" "$WORK/log"
dict=()
case $TARGET in
  json_*) dict=(-dict=tests/fuzz/dict/json.dict) ;;
esac
# The module's log lines go to a scratch folder, not the user's.
export MESSAGECLIENT_LOG_DIR="$WORK/log"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
export QT_QPA_PLATFORM=offscreen

status=0
# New inputs go to the first folder, the scratch corpus; the seeds are read only.
"$BUILD_DIR/bin/fuzz_$TARGET" "$WORK/corpus" "tests/fuzz/corpus/$TARGET" "tests/fuzz/crashers/$TARGET" \
  -max_total_time="$TIME" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$WORK/crashes/" "${dict[@]}" "$@" 2>&1 | tee "$WORK/last-run.txt" || status=$?

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$WORK/last-run.txt" | tail -1)
took=$(sed -n 's/^stat::.*//; s/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$WORK/last-run.txt" | tail -1)
crashes=$(find "$WORK/crashes" -type f | wc -l)
echo "fuzz: $TARGET: ${runs:-?} executions in ${took:-$TIME} s, exit $status; $crashes saved in $WORK/crashes"
exit $status
