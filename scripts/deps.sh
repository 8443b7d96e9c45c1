#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian machine, as root: the
# compilers on this machine, and a Wine tree outside the checkout (shared by
# every clone here) that scripts/winetree runs: Debian 13's Wine 10 with its
# 32-bit Windows DLLs beside the 64-bit ones, so one wine64 runs the 32-bit
# and the 64-bit builds (WoW64), with the fonts the dialogs are laid out in.
# Where the kernel runs no 32-bit code, also the emulated machine that runs
# the 32-bit programs instead (scripts/vm/). Last, a Wine prefix that every
# checkout copies, made without running 32-bit code. Each part is made once,
# and again only when its recipe changes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

need_packages() {
    local p missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "installing: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

need_packages cmake ninja-build g++ clang libclang-rt-14-dev googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64 debootstrap \
    imagemagick python3 zip unzip

# Debian 13's Wine in a tree of its own.
make_wine_tree() {
    tree=${QV_WINE_TREE:-/var/lib/qvhuetint/wine-10.0-trixie}
    wine_version=10.0~repack-6
    # What the tree must hold; a change here makes a new tree.
    recipe="wine=$wine_version fonts-wine fonts-liberation fonts-ipafont-gothic xvfb locales:ja_JP,en_US,de_DE"
    if [ -f "$tree/.qvhuetint-ready" ] && [ "$(cat "$tree/.qvhuetint-ready")" = "$recipe" ]; then
        return 0
    fi

    echo "making the Wine tree $tree (Debian 13, Wine $wine_version; a few minutes, once per machine)"
    work="$tree.partial"
    rm -rf "$work"
    mkdir -p "$(dirname "$tree")"
    debootstrap --variant=minbase \
        --include=wine,wine64,xvfb,xauth,fonts-wine,fonts-liberation,fonts-ipafont-gothic,locales \
        trixie "$work" >"$work.log" 2>&1 ||
        { tail -20 "$work.log" >&2; exit 1; }
    have=$(chroot "$work" dpkg-query -W -f='${Version}' wine64)
    if [ "$have" != "$wine_version" ]; then
        echo "deps.sh: Debian 13 now has wine64 $have, not $wine_version; update wine_version here" >&2
        exit 1
    fi
    # The 32-bit Windows DLLs of the same Wine, unpacked beside the 64-bit ones:
    # a 32-bit .exe then runs in a 64-bit process, with no 32-bit Unix program.
    chroot "$work" /bin/sh -euc "
        dpkg --add-architecture i386
        apt-get update -qq
        mkdir -p /tmp/libwine-i386 && cd /tmp/libwine-i386
        apt-get download -qq libwine:i386=$wine_version 2>/dev/null
        dpkg-deb -x libwine_*_i386.deb unpacked
        cp -a unpacked/usr/lib/i386-linux-gnu/wine/i386-windows/. /usr/lib/x86_64-linux-gnu/wine/i386-windows/
        cd / && rm -rf /tmp/libwine-i386 /var/cache/apt/archives/*.deb /var/lib/apt/lists/*
        # Wine takes the user language from the Unix locale: the Japanese dialog
        # template needs ja_JP.UTF-8, the language tests en_US and de_DE too.
        for loc in ja_JP en_US de_DE; do localedef -i \$loc -f UTF-8 \$loc.UTF-8; done
    "
    rm -f "$work.log"
    echo "$recipe" >"$work/.qvhuetint-ready"
    rm -rf "$tree"
    mv "$work" "$tree"
}

make_wine_tree

# The emulated machine, where this kernel runs no 32-bit code.
if ! "$root/scripts/winetree" --runs-32bit; then
    need_packages qemu-system-x86 busybox-static kmod cpio xz-utils
    "$root/scripts/vm/make" "${QV_VM_DIR:-/var/lib/qvhuetint/vm}"
fi

# The prefix, with its 32-bit half, made here whatever the kernel runs
# (scripts/prefix32.py). Keyed by the tree and by how it is made.
prefix=${QV_PREFIX_TEMPLATE:-/var/lib/qvhuetint/prefix}
prefix_recipe="$(cat "$tree/.qvhuetint-ready") $(
    { sed -n '/^wine_\(boot\|make\)_prefix()/,/^}/p' "$root/scripts/wine-env.sh"; cat "$root/scripts/prefix32.py"; } |
        sha256sum | cut -c1-16)"
if [ ! -f "$prefix/.qvhuetint-recipe" ] || [ "$(cat "$prefix/.qvhuetint-recipe")" != "$prefix_recipe" ]; then
    echo "making the Wine prefix $prefix (once per machine)"
    mkdir -p "$root/build"
    partial=$(mktemp -d "$root/build/prefix.XXXXXX")
    bash -c "source '$root/scripts/wine-env.sh'; wine_make_prefix '$partial/prefix'"
    echo "$prefix_recipe" >"$partial/prefix/.qvhuetint-recipe"
    rm -rf "$prefix"
    mv "$partial/prefix" "$prefix"
    rm -rf "$partial"
fi
