#!/usr/bin/env bash
# Static checks of the shipped 32-bit qvhuetint.ppi, which this machine cannot
# run: PE format and machine, the exact export names, the DLLs it needs at
# load time, and that its colour arithmetic is SSE2 double code (the same
# bytes as the 64-bit build the behavioural tests run), with no x87.
#
# How the x87 check finds the colour code:
#  - with symbols (the normal build is not stripped): every function whose
#    symbol names one of the plug-in's own classes or operations (Tint*,
#    ColorizeRegion, HueSatToRgb, the filters, the module, the exports, the
#    dialog and preview classes). ColorizeRegion, PrepareTint and HueSatToRgb
#    must be among them. No instruction of these functions may be an x87 one
#    (AT&T mnemonics f*, except fxsave/fxrstor); the tint and the guide colour
#    model must contain SSE2 double arithmetic (mulsd, cvttsd2si).
#  - stripped: function boundaries are gone, so the check anchors on the
#    tint's own literals (1.7035775127768313 and 0.0234375) in the read-only
#    data: every instruction that loads one of them must be an SSE2 one, and
#    the code around it (from the previous ret to the next) must hold no x87
#    instruction. The C runtime's printf and strtod code keep their x87 code
#    either way; it never handles pixels.
set -uo pipefail

ppi=${1:?usage: check_win32.sh path/to/qvhuetint.ppi}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
failures=0

ok() { echo "  ok: $*"; }
fail() {
    echo "  FAILED: $*"
    failures=$((failures + 1))
}

if [ ! -f "$ppi" ]; then
    echo "FAILED: $ppi does not exist (build the win32 preset first)"
    exit 1
fi
if ! command -v "$objdump" >/dev/null; then
    echo "FAILED: $objdump not found"
    exit 1
fi
echo "checking $ppi"

# --- PE header ---------------------------------------------------------------
echo "PE header: PE32, machine i386 (0x14c), a DLL"
u16() { od -An -tu2 -j"$1" -N2 "$ppi" | tr -d ' '; }
u32() { od -An -tu4 -j"$1" -N4 "$ppi" | tr -d ' '; }
pe=$(u32 60)
signature=$(od -An -tx1 -j"$pe" -N4 "$ppi" | tr -d ' ')
machine=$(u16 $((pe + 4)))
characteristics=$(u16 $((pe + 22)))
magic=$(u16 $((pe + 24)))
[ "$signature" = 50450000 ] && ok "PE signature" || fail "no PE signature at $pe (found $signature)"
[ "$machine" = $((0x14c)) ] && ok "machine 0x14c (i386)" || fail "machine is $(printf 0x%x "$machine"), expected 0x14c (i386)"
[ "$magic" = $((0x10b)) ] && ok "optional header PE32" || fail "optional header magic $(printf 0x%x "$magic"), expected 0x10b (PE32)"
((characteristics & 0x2000)) && ok "DLL flag set" || fail "characteristics $(printf 0x%x "$characteristics") lack the DLL flag"
"$objdump" -f "$ppi" | grep -q 'file format pei-i386' && ok "objdump: pei-i386" || fail "objdump does not see pei-i386"

private=$("$objdump" -p "$ppi")

# --- Hardening ---------------------------------------------------------------
echo "hardening: DEP and ASLR flags, no section both writable and executable"
for flag in NX_COMPAT DYNAMIC_BASE; do
    awk '/^DllCharacteristics/ {on = 1; next} on && /^[^[:space:]]/ {on = 0} on {print $1}' <<<"$private" |
        grep -qx "$flag" && ok "DllCharacteristics has $flag" || fail "DllCharacteristics lacks $flag"
done
# objdump -h: code without READONLY is writable code.
wx=$("$objdump" -h "$ppi" | awk '/^ *[0-9]+ / {name = $2; next} /CODE/ && !/READONLY/ {print name}')
[ -z "$wx" ] && ok "no writable code section" || fail "writable code sections: $wx"
# The section table itself: IMAGE_SCN_MEM_EXECUTE (0x20000000) with IMAGE_SCN_MEM_WRITE (0x80000000).
table=$((pe + 24 + $(u16 $((pe + 20)))))
wx=0
for ((i = 0; i < $(u16 $((pe + 6))); i++)); do
    entry=$((table + 40 * i))
    flags=$(u32 $((entry + 36)))
    if (((flags & 0x20000000) && (flags & 0x80000000))); then
        fail "section $(head -c8 <(tail -c+$((entry + 1)) "$ppi") | tr -d '\0') is writable and executable ($(printf 0x%08x "$flags"))"
        wx=1
    fi
done
((wx)) || ok "no section with both IMAGE_SCN_MEM_EXECUTE and IMAGE_SCN_MEM_WRITE"

# --- Exports -----------------------------------------------------------------
echo "exports: the five functions under plain and decorated names, nothing else"
expected_exports=(PB_GetPluginInfo PBF_FilterCount PBF_GetName PBF_Execute PBF_Setup
                  _PB_GetPluginInfo@8 _PBF_FilterCount@0 _PBF_GetName@20 _PBF_Execute@44 _PBF_Setup@20)
# "[   5] _PBF_Execute@44": the index into the export address table, and the name.
names=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && /^[[:space:]]*$/ {on = 0}
             on && match($0, /\[ *[0-9]+\] /) {i = substr($0, RSTART + 1, RLENGTH - 3) + 0; n = substr($0, RSTART + RLENGTH); print i, n}' \
        <<<"$private")
actual_sorted=$(awk '{print $2}' <<<"$names" | sort)
expected_sorted=$(printf '%s\n' "${expected_exports[@]}" | sort)
if [ "$actual_sorted" = "$expected_sorted" ]; then
    ok "exactly these ${#expected_exports[@]} names: ${expected_exports[*]}"
else
    fail "export names differ from the expected ten"
    diff <(echo "$expected_sorted") <(echo "$actual_sorted") | sed 's/^/        /'
fi
rva_of() {
    local index
    index=$(awk -v n="$1" '$2 == n {print $1}' <<<"$names")
    [ -n "$index" ] || return 0
    awk '/Export Address Table -- Ordinal Base/ {on = 1; next} on && /^[[:space:]]*$/ {on = 0}
         on && /Export RVA/ {print}' <<<"$private" | awk -v i="$index" '
         match($0, /\[ *[0-9]+\]/) {k = substr($0, RSTART + 1, RLENGTH - 2) + 0;
                                   if (k == i) {sub(/^.*\] /, ""); print $1}}'
}
for plain in PB_GetPluginInfo PBF_FilterCount PBF_GetName PBF_Execute PBF_Setup; do
    decorated=$(printf '%s\n' "${expected_exports[@]}" | grep "^_${plain}@")
    a=$(rva_of "$plain")
    b=$(rva_of "$decorated")
    if [ -n "$a" ] && [ "$a" = "$b" ]; then
        ok "$plain and $decorated are the same function (RVA $a)"
    else
        fail "$plain (RVA ${a:-none}) and $decorated (RVA ${b:-none}) differ"
    fi
done

# --- Imports -----------------------------------------------------------------
echo "imports: only system DLLs (KERNEL32, USER32, GDI32, msvcrt)"
dlls=$(awk -F': ' '/DLL Name:/ {print $2}' <<<"$private")
[ -n "$dlls" ] || fail "no import table found"
for dll in $dlls; do
    case "${dll,,}" in
    kernel32.dll | user32.dll | gdi32.dll | msvcrt.dll) ok "imports $dll" ;;
    *) fail "imports $dll, which a host machine need not have (only KERNEL32, USER32, GDI32, msvcrt are allowed)" ;;
    esac
done

# The plug-in starts no threads: it must not import what injects into or
# steers other threads, as the POSIX-thread runtime does, nor install a
# process-wide exception handler.
echo "imports: nothing that controls threads or processes"
functions=$(awk '/DLL Name:/ {on = 1; next} on && /^[[:space:]]*[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[A-Za-z_]/ {print $3}' <<<"$private")
for f in OpenProcess OpenThread SuspendThread ResumeThread GetThreadContext SetThreadContext CreateRemoteThread \
         WriteProcessMemory AddVectoredExceptionHandler GetTickCount64; do
    grep -qx "$f" <<<"$functions" && fail "imports $f" || ok "does not import $f"
done
# What the header claims is what the imports allow: Windows XP, version 5.1.
os=$(u16 $((pe + 24 + 40))).$(u16 $((pe + 24 + 42)))
subsystem=$(u16 $((pe + 24 + 48))).$(u16 $((pe + 24 + 50)))
[ "$os" = 5.1 ] && [ "$subsystem" = 5.1 ] && ok "OS and subsystem version 5.1 (Windows XP)" ||
    fail "OS version $os, subsystem version $subsystem; expected 5.1 (Windows XP)"

# --- SSE2, no x87 ------------------------------------------------------------
echo "floating point: SSE2 doubles, no x87 instruction in the plug-in's colour code"
disassembly=$("$objdump" -d --no-show-raw-insn "$ppi")
x87='^f([^xs]|x[^sr]|s.)'  # x87 mnemonics; not fxsave/fxrstor nor the fs prefix
own='(Tint|Colorize|HueSat|Guide|DrawColor|HostDrawColor|FilterModule|6Filter|Preview|PixelBuffer|ColorField|ColourField|Dialog|PB_GetPluginInfo|PBF_)'

# One line per instruction: "function<TAB>address<TAB>mnemonic<TAB>operands".
instructions=$(awk '
    /^[0-9a-f]+ <.*>:$/ {fn = $2; gsub(/^<|>:$/, "", fn); next}
    /^ *[0-9a-f]+:\t/ {
        split($0, part, "\t"); addr = part[1]; sub(/:$/, "", addr); gsub(/ /, "", addr)
        insn = part[2]; mnem = insn; sub(/ .*/, "", mnem); ops = insn; sub(/^[^ ]* */, "", ops)
        print fn "\t" addr "\t" mnem "\t" ops
    }' <<<"$disassembly")

if grep -qE "^[^\t]*(ColorizeRegion|HueSatToRgb)" <<<"$instructions"; then
    echo "  (symbols present: checking the plug-in's own functions by name)"
    mine=$(awk -F'\t' -v own="$own" '$1 ~ own' <<<"$instructions")
    functions=$(cut -f1 <<<"$mine" | sort -u)
    echo "  $(wc -l <<<"$functions") functions of the plug-in's own code, $(wc -l <<<"$mine") instructions"
    for required in ColorizeRegion PrepareTint HueSatToRgb; do
        grep -q "$required" <<<"$functions" && ok "found $required" || fail "no function named $required"
    done
    bad=$(awk -F'\t' -v x87="$x87" '$3 ~ x87' <<<"$mine")
    if [ -z "$bad" ]; then
        ok "no x87 instruction in them"
    else
        fail "x87 instructions in the plug-in's own code (build with -msse2 -mfpmath=sse):"
        head -20 <<<"$bad" | sed 's/^/        /'
    fi
    for group in 'Tint|ColorizeRegion' 'HueSatToRgb'; do
        code=$(awk -F'\t' -v g="$group" '$1 ~ g' <<<"$mine")
        if grep -qP '\tmulsd\t' <<<"$code" && grep -qP '\tcvttsd2si\t' <<<"$code"; then
            ok "${group//|/, } compute with SSE2 doubles (mulsd, cvttsd2si)"
        else
            fail "no mulsd/cvttsd2si in ${group//|/, }: the arithmetic is not SSE2 double code"
        fi
    done
else
    echo "  (no symbols: anchoring on the tint's literals in the read-only data)"
    sections=$("$objdump" -h "$ppi")
    for literal in '7e3d797eda41fb3f 1.7035775127768313' '000000000000983f 0.0234375'; do
        hex=${literal%% *}
        value=${literal#* }
        pattern=$(sed 's/../\\x&/g' <<<"$hex")
        offsets=$(LC_ALL=C grep -obUaP "$pattern" "$ppi" | cut -d: -f1)
        addresses=""
        for offset in $offsets; do
            while read -r _ name size vma _ file _; do
                if ((offset >= 16#$file && offset < 16#$file + 16#$size)); then
                    addresses+=$(printf '%x ' $((16#$vma + offset - 16#$file)))
                fi
            done < <(awk '$2 ~ /^\./ && NF == 7' <<<"$sections")
        done
        users=""
        for address in $addresses; do
            users+=$(awk -F'\t' -v a="0x$address" 'index($4, a) {print}' <<<"$instructions")$'\n'
        done
        users=$(sed '/^$/d' <<<"$users")
        if [ -z "$users" ]; then
            fail "no instruction uses the literal $value"
            continue
        fi
        non_sse=$(awk -F'\t' '$3 !~ /(sd|pd|sd2si|si2sd)$|^movsd$|^movapd$|^movq$/' <<<"$users")
        [ -z "$non_sse" ] && ok "every use of $value is an SSE2 instruction ($(wc -l <<<"$users"))" ||
            fail "non-SSE2 use of $value: $non_sse"
        for at in $(cut -f2 <<<"$users"); do
            around=$(awk -F'\t' -v at="$at" '
                {line[NR] = $0; if ($2 == at) hit = NR; if ($3 ~ /^ret/) rets[NR] = 1}
                END {s = hit; while (s > 1 && !rets[s - 1]) s--; e = hit; while (e < NR && !rets[e]) e++
                     for (i = s; i <= e; i++) print line[i]}' <<<"$instructions")
            bad=$(awk -F'\t' -v x87="$x87" '$3 ~ x87' <<<"$around")
            [ -z "$bad" ] && ok "no x87 around the use at $at" || fail "x87 near the use of $value at $at: $bad"
        done
    done
fi

if ((failures)); then
    echo "$failures check(s) FAILED for $ppi"
    exit 1
fi
echo "all checks passed for $ppi"
