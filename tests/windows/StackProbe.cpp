#include "tests/windows/StackProbe.h"

#if defined(BDA_STACK_PROBE)
// EBX, ESI and EDI are callee-saved in every convention probed here, so they
// carry the argument count, the argument array and the stack pointer from
// before the pushes across the call.
asm(R"(
    .text
    .globl _BdaProbeCall
_BdaProbeCall:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 16(%ebp), %esi
    movl 20(%ebp), %ebx
    movl %esp, %edi
    movl %ebx, %ecx
1:  testl %ecx, %ecx
    jz 2f
    pushl -4(%esi,%ecx,4)
    decl %ecx
    jmp 1b
2:  movl 12(%ebp), %ecx
    call *8(%ebp)
    movl %edi, %edx
    subl %esp, %edx
    movl %edi, %esp
    movl 24(%ebp), %ecx
    movl %edx, (%ecx)
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
#endif
