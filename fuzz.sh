#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang, AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs each for SECONDS (default 60), seeded from fuzz/seeds and the test fixtures. The corpus
# grows in build/fuzz/corpus; a crash leaves its input in build/fuzz/crashes and fails the run.
# Prints each target's executions and executions per second.
# Usage: ./fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")"

. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" /usr/bin/clang++=clang
if [ -z "$(ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a 2>/dev/null)" ]; then
    version=$(clang++ --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -1)
    ensure_packages "/nonexistent-libfuzzer=libclang-rt-${version}-dev"
fi

seconds=${1:-60}
shift || true
build=${TARNO_FUZZ_BUILD_DIR:-build/fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNO_FUZZ=ON -DTARNO_CONSOLE=OFF \
    -DTARNO_TESTS=OFF >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(ini_fuzz times_fuzz status_fuzz counting_fuzz import_lines_fuzz import_fuzz journal_fuzz
        daytable_fuzz keyed_file_fuzz index_fuzz control_fuzz)
fi
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

# Fixtures of the regular tests that seed a target, besides fuzz/seeds/TARGET.
fixtures() {
    case "$1" in
    counting_fuzz) ls src/transforms/testdata/*.vrk ;;
    import_lines_fuzz) ls src/importers/testdata/* ;;
    esac
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    crashes="$build/crashes/$target"
    mkdir -p "$corpus" "$crashes"
    for f in $(fixtures "$target"); do
        cp -f "$f" "$corpus/"
    done
    log="$build/$target.log"
    if ! "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
        -rss_limit_mb=2048 -artifact_prefix="$crashes/" "$corpus" "fuzz/seeds/$target" \
        >"$log" 2>&1; then
        echo "$target: FAILED, see $log and $crashes"
        tail -n 30 "$log"
        status=1
        continue
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "$target: $runs executions in ${seconds} s, $rate per second, corpus $(ls "$corpus" | wc -l) files"
done
exit $status
