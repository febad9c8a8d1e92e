#include "cardbus/call_gate.h"

#if defined(__i386__)

// CallGate(function, slot0, slot1, slot2, slot3), called with the C
// convention. EBP is kept by every convention a driver may use, so it
// remembers the stack pointer across the call; EBX, ESI and EDI are kept by
// the driver too, and EAX, ECX and EDX are the caller's to lose anyway.
__asm__(
    ".text\n"
    ".globl wavrix_card_call_gate\n"
    "wavrix_card_call_gate:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    // The slots, last first, so that slot0 is the first argument.
    "  pushl 24(%ebp)\n"
    "  pushl 20(%ebp)\n"
    "  pushl 16(%ebp)\n"
    "  pushl 12(%ebp)\n"
    "  call *8(%ebp)\n"
    // Whatever the driver removed: the stack is the gate's own again.
    "  movl %ebp, %esp\n"
    "  popl %ebp\n"
    "  ret\n");

#endif
