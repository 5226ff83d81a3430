#!/usr/bin/env bash
# Kills the service with SIGKILL at random moments of its passes, ROUNDS times (default 100),
# restarts it, and checks its files at the end (see tests/crashloop.py).
# Usage: ./crashloop.sh [ROUNDS] [--seed N] [--keep DIR]
# Uses the tarno of build/test (./test.sh), built when missing; TARNO_EXE picks another.
set -euo pipefail
cd "$(dirname "$0")"

rounds=${1:-100}
shift || true
exe=${TARNO_EXE:-}
if [ -z "$exe" ]; then
    . scripts/deps.sh
    ensure_packages "${BUILD_PACKAGES[@]}" /usr/bin/python3=python3
    build=${TARNO_BUILD_DIR:-build/test}
    if [ ! -x "$build/src/service/tarno" ]; then
        cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTARNO_SANITIZE=ON -DTARNO_TESTS=ON >/dev/null
    fi
    cmake --build "$build" -j "$(nproc)" --target tarno
    exe=$build/src/service/tarno
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec python3 tests/crashloop.py "$rounds" "$exe" "$PWD" "$@"
