#!/usr/bin/env bash
# The main job: installs what is missing, builds the shipped 32-bit plug-in and
# its ppihost (nothing else: the tests are scripts/test.sh's), and shows the
# shipped plug-in at work in the 32-bit ppihost under Wine: its filter list,
# both filters over the bundled test chart, and the set-up of "Colorize...".
# Where the kernel runs no 32-bit code, in the emulated machine (scripts/vm/);
# only where that cannot be had either, the 64-bit twin stands in, and the
# demo says so. Results go to out/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
build() { bash scripts/build.sh "$1" -- qvhuetint ppihost; }
source scripts/wine-env.sh
wine_env_start
trap wine_env_stop EXIT
build win32

limit=120
if "$QV_WINETREE" --runs-32bit; then
    bin=build/win32/bin
    wine=("${QV_WINE32[@]}")
elif [ -n "${QV_VM:-}" ]; then
    echo "NOTE: 32-bit x86 code does not run here (IA-32 emulation is off, or QV_IA32=vm): the shipped"
    echo "      32-bit build runs in the emulated machine (scripts/vm/), slowly."
    bin=build/win32/bin
    wine=("${QV_WINE32[@]}")
    limit=900
else
    echo "NOTE: this kernel runs no 32-bit x86 code and the emulated machine is not there (scripts/deps.sh"
    echo "      makes it); the demo runs the shipped build's 64-bit twin, built from the same sources."
    build win64
    bin=build/win64/bin
    wine=("${QV_WINE[@]}")
fi
plugin=$bin/qvhuetint.ppi
mkdir -p out

# Wine sees the Unix root as drive Z:.
winpath() {
    local p
    p=$(realpath -m "$1")
    printf 'Z:%s' "${p//\//\\}"
}
host() { timeout "$limit" "${wine[@]}" "$bin/ppihost.exe" "$@"; }

echo
echo "== the test chart"
host chart "$(winpath out/chart.png)"

echo
echo "== ppihost list $plugin"
host list "$(winpath "$plugin")"

echo
echo "== filter 0, \"Colorize...\": a copy of the plug-in in out/plugin/, its settings file holding X 150, Y 200"
rm -rf out/plugin out/colorize*.png
mkdir -p out/plugin
cp "$plugin" out/plugin/
printf '[HueTint]\r\nx=150\r\ny=200\r\npreview=1\r\n' >out/plugin/qvfilters.ini
copy=$(winpath out/plugin/qvhuetint.ppi)
# The template follows the user's language: English, then Japanese.
echo "-- English set-up: screenshot, OK, then the run with the stored position"
LANG=en_US.UTF-8 host setup "$copy" 0 "$(winpath out/chart.png)" --screenshot "$(winpath out/colorize-setup-en.png)" \
    --press ok --run "$(winpath out/colorize.png)"
echo "-- Japanese set-up: screenshot, Cancel"
LANG=ja_JP.UTF-8 host setup "$copy" 0 "$(winpath out/chart.png)" --screenshot "$(winpath out/colorize-setup-ja.png)" \
    --press cancel
shots=(out/colorize-setup-en.png out/colorize-setup-ja.png)

echo
echo "== filter 1, \"Colorize by Drawcolor\", drawing colour 2060C0"
host run "$(winpath "$plugin")" 1 "$(winpath out/chart.png)" "$(winpath out/drawcolor.png)" \
    --draw-color 2060C0

echo
echo "== filter 1 again, only inside the rectangle 64,32,448,320, drawing colour C04020"
host run "$(winpath "$plugin")" 1 "$(winpath out/chart.png)" "$(winpath out/drawcolor-rect.png)" \
    --rect 64,32,448,320 --draw-color C04020

echo
echo "Plug-in shown: $(realpath "$plugin")"
echo "Shipped 32-bit plug-in: $(realpath build/win32/bin/qvhuetint.ppi)"
echo "Images written:"
for f in out/chart.png "${shots[@]}" out/colorize.png out/drawcolor.png out/drawcolor-rect.png; do
    echo "  $(realpath "$f")"
done
