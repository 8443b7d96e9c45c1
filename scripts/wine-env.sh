# Sourced: a private Wine prefix under build/, a virtual display, and one
# persistent wineserver, so each test process starts in a fraction of a second.
# Wine and Xvfb come from the tree that scripts/deps.sh made (scripts/winetree).
# Call wine_env_stop when done.

QV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="$QV_ROOT/build/wineprefix"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
QV_WINETREE="$QV_ROOT/scripts/winetree"
QV_WINE=("$QV_WINETREE" wine)
QV_WINE32=("$QV_WINETREE" wine32)
QV_WINESERVER=("$QV_WINETREE" wineserver)

wine_env_start() {
    if [ ! -f "$WINEPREFIX/.qvhuetint-ready" ]; then
        echo "creating the Wine prefix $WINEPREFIX"
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        "${QV_WINE[@]}" wineboot -i >/dev/null 2>&1
        # No window manager on Xvfb: unmanaged windows map at once. The
        # dialog templates' fonts, by the names they carry, drawn with fonts
        # of the same metrics (IPA Gothic for the Japanese ones); the names
        # are full-width, so they go in as UTF-16, never through a shell.
        local reg="$WINEPREFIX/qvhuetint.reg"
        iconv -f UTF-8 -t UTF-16 >"$reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"MS UI Gothic"="IPAPGothic"
REG
        "${QV_WINE[@]}" regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1
        "${QV_WINESERVER[@]}" -w
        touch "$WINEPREFIX/.qvhuetint-ready"
    fi
    # Our own display, whatever DISPLAY says: Xvfb picks a free number.
    local fd_file
    fd_file=$(mktemp)
    "$QV_WINETREE" Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
    QV_XVFB_PID=$!
    for _ in $(seq 200); do [ -s "$fd_file" ] && break; sleep 0.05; done
    export DISPLAY=":$(head -n1 "$fd_file")"
    rm -f "$fd_file"
    "${QV_WINESERVER[@]}" -p
    # Start Wine's own services now, with their output going nowhere: started
    # by the first test instead, they would inherit its output pipe and keep
    # ctest waiting for it to close.
    "${QV_WINE[@]}" wineboot >/dev/null 2>&1 </dev/null
}

wine_env_stop() {
    "${QV_WINESERVER[@]}" -k 2>/dev/null || true
    if [ -n "${QV_XVFB_PID:-}" ]; then kill "$QV_XVFB_PID" 2>/dev/null || true; fi
}
