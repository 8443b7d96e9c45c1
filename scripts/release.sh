#!/usr/bin/env bash
# The release for users: builds the shipped 32-bit plug-in and writes
# dist/qvhuetint-VERSION.zip (the .ppi, readme.txt in Japanese, readme_en.txt
# in English) and dist/qvhuetint-VERSION.zip.sha256.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
bash scripts/build.sh win32 -- qvhuetint
zip=$(python3 release/make_release.py build/win32/bin/qvhuetint.ppi dist)
echo "$zip"
cat "$zip.sha256"
