#!/usr/bin/env bash
# Builds lumora and renders the shipped examples into out/: the scene spheres.lms, and the
# 3DS model torus.3ds through its settings file torus.lms (written as out/torus.png).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release
mkdir -p out
cd out
../build/release/lumora -i ../examples/spheres.lms
../build/release/lumora -3ds ../examples/torus.lms
