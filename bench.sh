#!/usr/bin/env bash
# Builds the benchmarks in Release mode and runs each of them. Usage: ./bench.sh [filter]
set -euo pipefail
cd "$(dirname "$0")"

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || need+=(libgmock-dev)
if [ ${#need[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${need[@]}" >/dev/null
fi

build=build/bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTARNO_BENCH=ON -DTARNO_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
for bin in "$build"/bench/*; do
    [ -x "$bin" ] && [ -f "$bin" ] || continue
    echo "== $(basename "$bin")"
    "$bin" ${1:+--benchmark_filter="$1"}
done
