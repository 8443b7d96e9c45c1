#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian machine, as root.
set -euo pipefail

packages=(cmake g++ clang libclang-rt-14-dev googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 xvfb
          locales fonts-noto-cjk imagemagick xdotool python3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Wine takes the user language from the Unix locale; the Japanese dialog
# template needs ja_JP.UTF-8 to exist, the language tests en_US and de_DE too.
for loc in ja_JP en_US de_DE; do
    if ! locale -a 2>/dev/null | grep -qi "^$loc\.utf-\?8$"; then
        localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
    fi
done
