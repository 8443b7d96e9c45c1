#!/usr/bin/env bash
# The prefix wine_boot_prefix makes without 32-bit code against the one
# wineboot makes with its 32-bit half: the same files, byte for byte, and
# the same registry but for what differs between any two wineboots and the
# few keys compare_prefixes.py names.
#   check_same_as_wineboot.sh              against wineboot.manifest, on any
#                                          kernel; where 32-bit code runs,
#                                          against a fresh wineboot too
#   check_same_as_wineboot.sh --manifest   makes wineboot.manifest again,
#                                          where 32-bit code runs (on a kernel
#                                          without, through scripts/vm/run)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
manifest=$here/wineboot.manifest
if [ "${1:-}" = --manifest ] && ! "$root/scripts/winetree" --runs-32bit; then
    exec "$root/scripts/vm/run" bash "$here/check_same_as_wineboot.sh" --manifest
fi
source "$root/scripts/wine-env.sh"
wine=$(cat "${QV_WINE_TREE:-/var/lib/qvhuetint/wine-10.0-trixie}/.qvhuetint-ready")
compare=(python3 "$here/compare_prefixes.py")
work=$(mktemp -d "${TMPDIR:-/tmp}/prefix-check.XXXXXX")
# Wine's services may still be closing files as the server ends.
trap 'rm -rf "$work" 2>/dev/null || true' EXIT

make_wineboot_prefix() {
    mkdir "$work/wineboot"
    WINEPREFIX=$work/wineboot "${QV_WINE[@]}" wineboot -i >"$work/wineboot.log" 2>&1 ||
        { tail -n 20 "$work/wineboot.log" >&2; return 1; }
    WINEPREFIX=$work/wineboot "${QV_WINESERVER[@]}" -w || true
}

if [ "${1:-}" = --manifest ]; then
    make_wineboot_prefix
    "${compare[@]}" manifest "$work/wineboot" "$wine" >"$work/manifest"
    cp "$work/manifest" "$manifest"
    echo "made $manifest"
    exit
fi

wine_boot_prefix "$work/made"
status=0
"${compare[@]}" check "$manifest" "$work/made" "$wine" || status=1
if "$root/scripts/winetree" --runs-32bit; then
    make_wineboot_prefix
    # A manifest that no longer describes wineboot's prefix is stale.
    "${compare[@]}" check "$manifest" "$work/wineboot" "$wine" || status=1
    "${compare[@]}" compare "$work/wineboot" "$work/made" || status=1
fi
exit $status
