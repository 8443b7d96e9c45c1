#!/usr/bin/env bash
# Both ppihost builds export PBF_QueryClientInfo under its plain name (the
# plug-in looks it up by that name) and need nothing but system DLLs.
set -u
status=0
for exe in "$@"; do
    dump=$(x86_64-w64-mingw32-objdump -p "$exe") || { echo "FAIL: cannot read $exe"; status=1; continue; }
    if grep -qE '^\s*\[\s*[0-9]+\] PBF_QueryClientInfo$' <<<"$dump"; then
        echo "ok: $exe exports PBF_QueryClientInfo"
    else
        echo "FAIL: $exe does not export PBF_QueryClientInfo under its plain name; exports:"
        grep -A5 'Ordinal/Name Pointer' <<<"$dump"
        status=1
    fi
    foreign=$(grep 'DLL Name' <<<"$dump" | grep -viE 'DLL Name: (kernel32|user32|gdi32|ole32|oleaut32|comctl32|windowscodecs|msvcrt|advapi32|shell32|api-ms-win-[a-z0-9-]+)\.dll$')
    if [ -n "$foreign" ]; then
        echo "FAIL: $exe needs non-system DLLs:"
        echo "$foreign"
        status=1
    fi
done
exit $status
