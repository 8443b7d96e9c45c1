#!/usr/bin/env bash
# Configures and builds the given presets (default: all four) under build/.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=("$@")
((${#presets[@]})) || presets=(native sanitize win32 win64)
for p in "${presets[@]}"; do
    cmake --preset "$p" >/dev/null
    cmake --build --preset "$p" -j"$(nproc)"
done
