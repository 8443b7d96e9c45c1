#!/usr/bin/env bash
# Every test: installs what is missing, builds everything, and runs one ctest
# over it: native unit tests, the same under ASan/UBSan with short fuzzing,
# the 32-bit and the 64-bit build under Wine with dialogs on Xvfb, static
# checks of the shipped artefact, and the release checks.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
bash scripts/build.sh native sanitize win32 win64
source scripts/wine-env.sh
wine_env_start
trap wine_env_stop EXIT
ctest --test-dir build/win64 --output-on-failure -j2
