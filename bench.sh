#!/usr/bin/env bash
# Builds the benchmarks in Release mode and runs each of them. Usage: ./bench.sh [filter]
set -euo pipefail
cd "$(dirname "$0")"

. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" /usr/include/benchmark/benchmark.h=libbenchmark-dev

build=build/bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTARNO_BENCH=ON -DTARNO_TESTS=OFF -DTARNO_CONSOLE=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
for bin in "$build"/bench/*; do
    [ -x "$bin" ] && [ -f "$bin" ] || continue
    echo "== $(basename "$bin")"
    "$bin" ${1:+--benchmark_filter="$1"}
done
