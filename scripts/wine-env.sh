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
QV_PREFIX_TEMPLATE=${QV_PREFIX_TEMPLATE:-/var/lib/qvhuetint/prefix}

# Makes Wine's own prefix in DIR, with its 32-bit half, running no 32-bit
# code: the same on every kernel; then imports the .reg files REG... (with
# the 64-bit regedit). wineboot makes the 64-bit half, where no IA-32 system
# call gets through (its 32-bit rundll32 dies at once, as on a kernel without
# IA-32). The 32-bit half that rundll32 would have made (wine.inf's
# Wow64Install) scripts/prefix32.py makes from the Wine tree: the files; the
# registry settings, by the 64-bit setupapi into the 32-bit view; and the
# 32-bit twins of the DLLs' registrations, by reg /reg:32.
wine_boot_prefix() {
    local dir=$1 tree=${QV_WINE_TREE:-/var/lib/qvhuetint/wine-10.0-trixie}
    shift
    local p32=(python3 "$QV_ROOT/scripts/prefix32.py") work win reg files failed=
    rm -rf "$dir"
    mkdir -p "$dir"
    WINEPREFIX=$dir "${p32[@]}" no32 "${QV_WINE[@]}" wineboot -i >/dev/null 2>&1
    if [ ! -f "$dir/drive_c/windows/system32/kernel32.dll" ]; then
        echo "wine_boot_prefix: wineboot made no prefix in $dir" >&2
        return 1
    fi
    work=$(mktemp -d "$dir/.prefix32.XXXXXX")
    win="Z:${work//\//\\}"
    # The files, meanwhile the registry.
    "${p32[@]}" files "$tree" "$dir" &
    files=$!
    (
        export WINEPREFIX=$dir
        "${p32[@]}" inf "$tree" "$work/wow64.inf" &&
            "${QV_WINE[@]}" rundll32 setupapi,InstallHinfSection QvWow64 128 "$win\\wow64.inf" &&
            "${QV_WINE[@]}" reg export 'HKLM\Software' "$win\\software.reg" /reg:64 /y &&
            "${QV_WINE[@]}" reg export 'HKLM\System\CurrentControlSet\Control\Print\Environments' "$win\\print.reg" /reg:64 /y &&
            "${p32[@]}" mirror "$tree" "$work/software.reg" "$work/print.reg" "$work/twins.reg" &&
            "${QV_WINE[@]}" reg import "$win\\twins.reg" /reg:32
    ) >/dev/null 2>&1 || failed=registry
    wait "$files" || failed=files
    for reg in "$@"; do
        WINEPREFIX=$dir "${QV_WINE[@]}" regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1 || failed=$reg
    done
    WINEPREFIX=$dir "${QV_WINESERVER[@]}" -w
    rm -rf "$work"
    [ -z "$failed" ] || { echo "wine_boot_prefix: making $dir failed ($failed)" >&2; return 1; }
}

# Makes a Wine prefix in DIR for the builds and tests (scripts/deps.sh makes
# the one every checkout copies): Wine's own, and our settings.
wine_make_prefix() {
    local dir=$1 reg
    # No window manager on Xvfb: unmanaged windows map at once. The dialog
    # templates' fonts, by the names they carry, drawn with fonts of the same
    # metrics (IPA Gothic for the Japanese ones); the names are full-width,
    # so they go in as UTF-16, never through a shell.
    reg=$(mktemp /tmp/qvhuetint-settings.XXXXXX.reg)
    iconv -f UTF-8 -t UTF-16 >"$reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"MS UI Gothic"="IPAPGothic"
REG
    wine_boot_prefix "$dir" "$reg" || { rm -f "$reg"; return 1; }
    rm -f "$reg"
    # Debian's Wine notes its server's folder in the prefix: not for copies.
    rm -f "$dir/wineserver"
    # Wine starts 32-bit programs from syswow64.
    [ -f "$dir/drive_c/windows/syswow64/kernel32.dll" ] || { echo "wine_make_prefix: $dir has no 32-bit system" >&2; return 1; }
    touch "$dir/.qvhuetint-ready"
}

# A copy of the prepared prefix in DIR, unless DIR has one.
wine_env_prefix() {
    [ -f "$1/.qvhuetint-ready" ] && return
    echo "copying the prepared Wine prefix to $1"
    rm -rf "$1"
    mkdir -p "$(dirname "$1")"
    cp -a "$QV_PREFIX_TEMPLATE" "$1"
}

# Our own display, whatever DISPLAY says: Xvfb picks a free number.
wine_env_display() {
    local fd_file
    fd_file=$(mktemp)
    "$QV_WINETREE" Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
    QV_XVFB_PID=$!
    for _ in $(seq 200); do [ -s "$fd_file" ] && break; sleep 0.05; done
    export DISPLAY=":$(head -n1 "$fd_file")"
    rm -f "$fd_file"
}

# The programs that keep the desktop up between test programs (the emulated
# machine starts its own keeper) and start 32-bit programs
# (scripts/winetree), built when missing or older than their source.
wine_env_tools() {
    local keeper=$QV_ROOT/build/desktop-keeper.exe start32=$QV_ROOT/build/wow64-start.exe
    if [ ! -f "$keeper" ] || [ "$QV_ROOT/scripts/desktop-keeper.c" -nt "$keeper" ]; then
        x86_64-w64-mingw32-gcc -O2 -s -municode -mwindows -o "$keeper" "$QV_ROOT/scripts/desktop-keeper.c"
    fi
    if [ ! -f "$start32" ] || [ "$QV_ROOT/scripts/wow64-start.c" -nt "$start32" ]; then
        x86_64-w64-mingw32-gcc -O2 -s -nostdlib -e Start -o "$start32" "$QV_ROOT/scripts/wow64-start.c" -lkernel32
    fi
}

wine_env_start() {
    # The session tests' own (a Wine server of their own), beside the main one.
    wine_env_prefix "$WINEPREFIX"
    wine_env_prefix "$WINEPREFIX-session"
    wine_env_display
    "${QV_WINESERVER[@]}" -p
    # Start Wine's own services now, with their output going nowhere: started
    # by the first test instead, they would inherit its output pipe and keep
    # ctest waiting for it to close.
    "${QV_WINE[@]}" wineboot >/dev/null 2>&1 </dev/null
    wine_env_tools
    "${QV_WINE[@]}" "$QV_ROOT/build/desktop-keeper.exe" >/dev/null 2>&1 </dev/null &
    # Where the kernel runs no 32-bit code, one emulated machine serves every
    # 32-bit program until wine_env_stop (scripts/winetree wine32 hands them
    # over); none where it cannot be had: those programs then fail (skipped
    # with QV_ALLOW_NO_32BIT=1).
    # It boots while the caller builds; the first program waits for it.
    if ! "$QV_WINETREE" --runs-32bit && [ -z "${QV_VM:-}" ]; then
        local vm
        if vm=$("$QV_ROOT/scripts/vm/run" start --background 2>&1); then
            eval "$vm"
            QV_VM_OURS=1
        else
            echo "$vm" >&2
        fi
    fi
}

wine_env_stop() {
    if [ -n "${QV_VM_OURS:-}" ]; then "$QV_ROOT/scripts/vm/run" stop; unset QV_VM QV_VM_OURS; fi
    WINEPREFIX=$WINEPREFIX-session "${QV_WINESERVER[@]}" -k 2>/dev/null || true
    "${QV_WINESERVER[@]}" -k 2>/dev/null || true
    if [ -n "${QV_XVFB_PID:-}" ]; then kill "$QV_XVFB_PID" 2>/dev/null || true; fi
}
