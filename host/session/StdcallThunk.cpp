#include "host/session/StdcallThunk.h"

#if defined(__i386__)
// EBX holds the stack pointer at the call: the callee must keep EBX and EBP
// (both callee-saved in every convention), not ESP. Arguments start on a
// 16-byte boundary, as compilers that realign nothing expect, or the asked
// number of bytes below one.
__asm__(
    ".text\n"
    ".globl _CallMeasuringStack\n"
    "_CallMeasuringStack:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"
    "    pushl %ebx\n"
    "    pushl %esi\n"
    "    pushl %edi\n"
    "    movl 16(%ebp), %ecx\n"
    "    movl 12(%ebp), %esi\n"
    "    subl %ecx, %esp\n"
    "    andl $-16, %esp\n"
    "    subl 24(%ebp), %esp\n"
    "    movl %esp, %edi\n"
    "    cld\n"
    "    rep movsb\n"
    "    movl %esp, %ebx\n"
    "    call *8(%ebp)\n"
    "    movl %esp, %ecx\n"
    "    subl %ebx, %ecx\n"
    "    movl 20(%ebp), %edx\n"
    "    movl %ecx, (%edx)\n"
    "    leal -12(%ebp), %esp\n"
    "    popl %edi\n"
    "    popl %esi\n"
    "    popl %ebx\n"
    "    popl %ebp\n"
    "    ret\n");
#endif
