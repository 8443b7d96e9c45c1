#!/usr/bin/env bash
# The prefix wine_boot_prefix makes without 32-bit code against the one
# wineboot makes with its 32-bit half: the same files, byte for byte, and
# the same registry but for what differs between any two wineboots and the
# few keys compare_prefixes.py names. Needs a kernel that runs 32-bit code
# for the second (exits with 77, skipped, elsewhere).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

if ! "$root/scripts/winetree" --runs-32bit; then
    echo "SKIPPED: this kernel runs no 32-bit code: wineboot makes no 32-bit half to compare with" >&2
    exit 77
fi
source "$root/scripts/wine-env.sh"
mkdir -p "$root/build"
work=$(mktemp -d "$root/build/prefix-check.XXXXXX")
trap 'rm -rf "$work"' EXIT

mkdir "$work/wineboot"
WINEPREFIX=$work/wineboot "${QV_WINE[@]}" wineboot -i >/dev/null 2>&1
WINEPREFIX=$work/wineboot "${QV_WINESERVER[@]}" -w
wine_boot_prefix "$work/made"
python3 "$here/compare_prefixes.py" "$work/wineboot" "$work/made"
