#!/usr/bin/env bash
# Installs what the build needs, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and
# runs every test. Usage: ./test.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")"

. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${CONSOLE_PACKAGES[@]}" /usr/include/gtest/gtest.h=libgtest-dev /usr/include/gmock/gmock.h=libgmock-dev

build=${TARNO_BUILD_DIR:-build/test}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTARNO_SANITIZE=ON -DTARNO_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
