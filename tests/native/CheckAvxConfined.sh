#!/usr/bin/env bash
# The 32-bit plug-in must run on SSE2-only machines: AVX instructions may
# appear only in the AVX2 and AVX-512 kernels' objects, AVX-512 only in the
# latter, and those objects may share no linker-merged (COMDAT) code that
# another caller could end up using.
# Windows gives no 32- or 64-byte stack alignment, so in those two objects
# no vector may be moved to or from memory by an aligned move: a spill
# would fault on some calls and not others (-Wa,-muse-unaligned-vector-move).
# Usage: CheckAvxConfined.sh <colormath objects directory> <objdump>
set -euo pipefail
dir=$1
objdump=$2
fail=0
checked=0
for obj in "$dir"/colorize/*.obj "$dir"/colorize/*.o; do
    [ -e "$obj" ] || continue
    checked=$((checked + 1))
    code=$("$objdump" -d --no-show-raw-insn "$obj")
    vex=$(grep -cE $'\tv[a-z]|%ymm' <<<"$code" || true)
    evex=$(grep -cE '%zmm|%k[0-7]|%[xy]mm(1[6-9]|2[0-9]|3[01])' <<<"$code" || true)
    case "$obj" in
    *TintKernelAvx2* | *TintKernelAvx512*)
        if ((vex == 0)); then echo "FAIL: $obj has no AVX code"; fail=1; fi
        case "$obj" in
        *TintKernelAvx512*) ((evex)) || { echo "FAIL: $obj has no AVX-512 code"; fail=1; } ;;
        *) ((evex == 0)) || { echo "FAIL: $obj has $evex AVX-512 instructions"; fail=1; } ;;
        esac
        merged=$("$objdump" -h "$obj" | grep -cE '\.text\$|\.gnu\.linkonce|\.rdata\$[^z]' || true)
        if ((merged)); then echo "FAIL: $obj has linker-merged sections"; "$objdump" -h "$obj"; fail=1; fi
        aligned=$(grep -E $'\tv?mov(ap[sd]|dqa(32|64)?)[[:space:]].*\\(' <<<"$code" || true)
        if [ -n "$aligned" ]; then echo "FAIL: $obj moves vectors to or from memory aligned:"; echo "$aligned"; fail=1; fi
        ;;
    *)
        if ((vex)); then echo "FAIL: $obj has $vex AVX instructions"; fail=1; fi
        ;;
    esac
done
# No objects is no proof: a moved build folder would pass here otherwise.
if ((checked == 0)); then echo "FAIL: no objects in $dir/colorize"; exit 1; fi
((fail == 0)) && echo "AVX code confined to the AVX2 and AVX-512 kernels, with unaligned moves only"
exit $fail
