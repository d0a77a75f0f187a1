#!/usr/bin/env bash
# Runs every test: installs what is missing, configures, builds, runs CTest.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)"
ctest --preset default -j"$(nproc)" "$@"
