#!/usr/bin/env bash
# The 32-bit plug-in must run on SSE2-only machines: AVX instructions may
# appear only in the AVX2 kernel's object, and that object may share no
# linker-merged (COMDAT) code that another caller could end up using.
# Usage: CheckAvxConfined.sh <colormath objects directory> <objdump>
set -euo pipefail
dir=$1
objdump=$2
fail=0
for obj in "$dir"/colorize/*.obj "$dir"/colorize/*.o; do
    [ -e "$obj" ] || continue
    vex=$("$objdump" -d --no-show-raw-insn "$obj" | grep -cE $'\tv[a-z]|%ymm' || true)
    case "$obj" in
    *TintKernelAvx2*)
        if ((vex == 0)); then echo "FAIL: $obj has no AVX code"; fail=1; fi
        merged=$("$objdump" -h "$obj" | grep -cE '\.text\$|\.gnu\.linkonce|\.rdata\$[^z]' || true)
        if ((merged)); then echo "FAIL: $obj has linker-merged sections"; "$objdump" -h "$obj"; fail=1; fi
        ;;
    *)
        if ((vex)); then echo "FAIL: $obj has $vex AVX instructions"; fail=1; fi
        ;;
    esac
done
((fail == 0)) && echo "AVX code confined to the AVX2 kernel"
exit $fail
