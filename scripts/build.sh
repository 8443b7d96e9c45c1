#!/usr/bin/env bash
# Configures and builds the given presets (default: all four) under build/,
# side by side: while one links or runs a serial step, the others keep the
# cores busy. Each one's output goes to build/PRESET.log; what the compilers
# said is shown when it ends, all of it when it fails.
#   scripts/build.sh [PRESET...] [-- TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

presets=() targets=()
while (($#)) && [ "$1" != -- ]; do presets+=("$1"); shift; done
(($#)) && shift && targets=("$@")
((${#presets[@]})) || presets=(native sanitize win32 win64)

build_one() {
    local dir=build/$1
    # A tree that another generator made is made again from nothing.
    if [ -f "$dir/CMakeCache.txt" ] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$dir/CMakeCache.txt"; then
        rm -rf "$dir"
    fi
    cmake --preset "$1" >/dev/null &&
        cmake --build --preset "$1" -j"$(nproc)" ${targets[@]:+--target "${targets[@]}"}
}

mkdir -p build
pids=()
for p in "${presets[@]}"; do
    build_one "$p" >"build/$p.log" 2>&1 &
    pids+=($!)
done
failed=()
for i in "${!presets[@]}"; do
    p=${presets[$i]}
    if wait "${pids[$i]}"; then
        grep -vE '^\[[0-9]+/[0-9]+\] |^-- |^ninja: no work to do' "build/$p.log" || true
        echo "built $p"
    else
        cat "build/$p.log"
        failed+=("$p")
    fi
done
if ((${#failed[@]})); then
    echo "build.sh: building ${failed[*]} failed (build/PRESET.log)" >&2
    exit 1
fi
