#!/usr/bin/env bash
# Installs what the build needs, builds a Release build and runs the service in the foreground on
# the demo home demo/ until Ctrl-C (or SIGTERM). Usage: ./run.sh [extra tarno options]
set -euo pipefail
cd "$(dirname "$0")"

. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${CONSOLE_PACKAGES[@]}"

build=${TARNO_BUILD_DIR:-build/release}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTARNO_TESTS=OFF >/dev/null
cmake --build "$build" --target tarno tarnoctl -j "$(nproc)"

echo "Running the service on demo/ (log: demo/tarno.log, outputs: demo/out/). Ctrl-C stops it."
exec "$build/src/service/tarno" --home "$PWD/demo" "$@"
