#!/usr/bin/env bash
# Builds lumora and renders the shipped example scene into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release
mkdir -p out
cd out
../build/release/lumora -i ../examples/spheres.lms
