// The call is written out in i686 assembly, so no compiler's idea of the callee's convention
// (nor its habit of restoring ESP from EBP) can hide an unbalanced stack.
#include "stdcall_thunk.h"

static_assert(sizeof(void*) == 4, "the thunk is i686 code");
static_assert(sizeof(StdcallOutcome) == 12, "the thunk writes the outcome at offsets 0, 4 and 8");

asm(R"(
    .text
    .globl _vexo_call_stdcall
    .def _vexo_call_stdcall; .scl 2; .type 32; .endef
_vexo_call_stdcall:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    # ESP is now EBP-12, the mark the callee must bring it back to.
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    jecxz 2f
1:  pushl -4(%esi,%ecx,4)
    loop 1b
2:  movl $0x5EB5EB5E, %ebx
    movl $0x51515151, %esi
    movl $0xED1ED1ED, %edi
    call *8(%ebp)
    movl 20(%ebp), %ecx
    movl %eax, 4(%ecx)
    leal -12(%ebp), %edx
    movl %esp, %eax
    subl %edx, %eax
    movl %eax, (%ecx)
    xorl %eax, %eax
    cmpl $0x5EB5EB5E, %ebx
    jne 3f
    cmpl $0x51515151, %esi
    jne 3f
    cmpl $0xED1ED1ED, %edi
    jne 3f
    incl %eax
3:  movl %eax, 8(%ecx)
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
