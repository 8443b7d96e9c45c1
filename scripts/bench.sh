#!/usr/bin/env bash
# Tint benchmark (not a test): ColorizeRegion against memcpy of the same
# buffer and against the literal per-pixel loop, 4096x4096 and 256x256,
# separate destination and in place, with the grey worst case; natively,
# then through PBF_Execute of the shipped 32-bit plug-in and of the 64-bit
# one under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh native -- tint_bench >/dev/null
bash scripts/build.sh win32 win64 -- plugin_bench >/dev/null

echo "== native"
build/native/bench/tint_bench

source scripts/wine-env.sh
wine_env_start
trap wine_env_stop EXIT
echo
echo "== win32, through the shipped plug-in"
if "$QV_WINETREE" --runs-32bit; then
    (cd build/win32/bin && timeout 900 "${QV_WINE32[@]}" plugin_bench.exe)
elif [ -n "${QV_VM:-}" ]; then
    # An emulator's speed says nothing of the plug-in's: only its bytes.
    (cd build/win32/bin && timeout 900 "${QV_WINE32[@]}" plugin_bench.exe --check-only)
else
    echo "(not run: this kernel runs no 32-bit code, and there is no emulated machine)"
fi
echo
echo "== win64, through the plug-in"
(cd build/win64/bin && timeout 900 "${QV_WINE[@]}" plugin_bench.exe)
