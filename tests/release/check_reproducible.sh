#!/usr/bin/env bash
# The shipped plug-in built again from a copy of the sources in another
# folder must be the same file, byte for byte (with Ninja, as the builds make
# it).
set -uo pipefail
ppi=$(realpath "${1:?usage: check_reproducible.sh PPI TOOLCHAIN}")
toolchain=${2:?usage: check_reproducible.sh PPI TOOLCHAIN}
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/qvhuetint-again.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/elsewhere"
tar -C "$root" --exclude=./build --exclude=./dist --exclude=./out --exclude=./.git -cf - . | tar -C "$work/elsewhere" -xf -
cmake -G Ninja -S "$work/elsewhere" -B "$work/elsewhere/b" -DCMAKE_TOOLCHAIN_FILE="$work/elsewhere/cmake/$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DQV_PLUGIN_ONLY=ON -DBUILD_TESTING=OFF >/dev/null || exit 1
cmake --build "$work/elsewhere/b" --target qvhuetint -j2 >/dev/null || exit 1
again=$work/elsewhere/b/bin/qvhuetint.ppi
if cmp "$ppi" "$again"; then
    echo "ok: built again in $work/elsewhere: the same $(stat -c %s "$ppi") bytes"
else
    cmp -l "$ppi" "$again" | head -20
    echo "FAILED: $ppi and the build in another folder differ"
    exit 1
fi
