#!/usr/bin/env bash
# Builds lumora with its tests (warnings are errors) and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test
ctest --test-dir build/test --output-on-failure -j "$(nproc)"
