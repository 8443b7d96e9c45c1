# Sourced: a private Wine prefix under build/, a virtual display, and one
# persistent wineserver, so each test process starts in a fraction of a second.
# Call wine_env_stop when done.

QV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="$QV_ROOT/build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
QV_WINE=/usr/lib/wine/wine64
QV_WINESERVER=/usr/lib/wine/wineserver64

wine_env_start() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "creating the Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        "$QV_WINE" wineboot -i >/dev/null 2>&1
        # No window manager on Xvfb: unmanaged windows map at once.
        "$QV_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        # The Japanese template's fonts and captions, drawn with a font that has the glyphs.
        local reg="$WINEPREFIX/fonts.reg"
        iconv -f UTF-8 -t UTF-16 >"$reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS UI Gothic"="Noto Sans CJK JP"
"ＭＳ Ｐゴシック"="Noto Sans CJK JP"
"ＭＳ ゴシック"="Noto Sans CJK JP"
"MS PGothic"="Noto Sans CJK JP"
"MS Gothic"="Noto Sans CJK JP"
REG
        "$QV_WINE" regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1
        "$QV_WINESERVER" -w
    fi
    # Our own display, whatever DISPLAY says: Xvfb picks a free number.
    local fd_file
    fd_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
    QV_XVFB_PID=$!
    for _ in $(seq 100); do [ -s "$fd_file" ] && break; sleep 0.05; done
    export DISPLAY=":$(head -n1 "$fd_file")"
    rm -f "$fd_file"
    "$QV_WINESERVER" -p
    # Start Wine's own services now, with their output going nowhere: started
    # by the first test instead, they would inherit its output pipe and keep
    # ctest waiting for it to close.
    "$QV_WINE" wineboot >/dev/null 2>&1 </dev/null
}

wine_env_stop() {
    "$QV_WINESERVER" -k 2>/dev/null || true
    if [ -n "${QV_XVFB_PID:-}" ]; then kill "$QV_XVFB_PID" 2>/dev/null || true; fi
}
