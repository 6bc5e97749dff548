// The guarded call of the Windows builds: a frame-based structured-exception
// handler of our own around the call, the way a compiler's __try/__except
// establishes one (GCC has no __try). A vectored handler would see every
// first-chance exception, also those the called code handles itself; a
// frame handler is consulted only for exceptions that no inner frame took.
//
// 32-bit: a registration record (next, handler, then our own fields) is
// pushed onto the thread's handler chain at fs:[0] around the call. On a
// fault the handler unwinds the chain to that record with RtlUnwind, which
// runs the inner frames' termination handlers, then resumes in the thunk
// with its frame pointer, unlinks the record and returns 0.
//
// 64-bit: the thunk is a function with unwind data of its own (.seh_proc)
// naming our handler for the dispatch phase. It saves every non-volatile
// register in its prologue, so that resuming it restores the caller's
// registers from its own frame whatever the unwound code did to them. On a
// fault the handler has RtlUnwindEx unwind to the thunk's frame and continue
// at a point inside it, with the exception code as the value in rax.
//
// Both thunks also keep the caller's floating-point control words (MXCSR,
// x87) and leave the x87 stack empty and the direction flag clear after a
// fault: the interrupted code may have left any of them changed.
#include <windows.h>
#include <malloc.h>

#include "vsthost/guarded_call.h"

// [any thread] The thunks: fn(arg), then 1; or 0 after a fault, with the
// exception code in *code.
extern "C" int GuardedThunk(void (*fn)(void*), void* arg, uint32_t* code) __asm__("tavren_guarded_thunk");

namespace {

// Error severity: the two top bits of the code set. Warnings (a guard page,
// a breakpoint) and informational codes (debug output) belong to others.
bool IsFault(DWORD code) { return (code & 0xC0000000u) == 0xC0000000u; }

bool IsUnwinding(const EXCEPTION_RECORD* record) {
    return (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0;
}

}  // namespace

#if defined(__x86_64__)

extern "C" EXCEPTION_DISPOSITION GuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                              DISPATCHER_CONTEXT* dispatch) __asm__("tavren_guard_handler");
extern "C" char GuardResume[] __asm__("tavren_guard_resume");

// [the faulting thread] Called by the exception dispatcher for the thunk's
// frame once every inner frame has passed the exception on.
extern "C" EXCEPTION_DISPOSITION GuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                              DISPATCHER_CONTEXT* dispatch) {
    if (IsUnwinding(record) || !IsFault(record->ExceptionCode)) return ExceptionContinueSearch;
    RtlUnwindEx(frame, GuardResume, record, reinterpret_cast<void*>(static_cast<uintptr_t>(record->ExceptionCode)),
                dispatch->ContextRecord, dispatch->HistoryTable);
    return ExceptionContinueSearch;  // not reached: the unwind continues in the thunk
}

// Frame, from rsp after the prologue (216 bytes, 16-aligned below the eight
// pushed registers): 0 the callee's home space, 32..191 xmm6..xmm15,
// 192 the code pointer, 200 MXCSR, 204 the x87 control word.
asm(R"(
    .text
    .p2align 4
    .globl tavren_guarded_thunk
    .def tavren_guarded_thunk; .scl 2; .type 32; .endef
    .seh_proc tavren_guarded_thunk
    .seh_handler tavren_guard_handler, @except
tavren_guarded_thunk:
    pushq %rbp
    .seh_pushreg %rbp
    pushq %rbx
    .seh_pushreg %rbx
    pushq %rsi
    .seh_pushreg %rsi
    pushq %rdi
    .seh_pushreg %rdi
    pushq %r12
    .seh_pushreg %r12
    pushq %r13
    .seh_pushreg %r13
    pushq %r14
    .seh_pushreg %r14
    pushq %r15
    .seh_pushreg %r15
    subq $216, %rsp
    .seh_stackalloc 216
    movaps %xmm6, 32(%rsp)
    .seh_savexmm %xmm6, 32
    movaps %xmm7, 48(%rsp)
    .seh_savexmm %xmm7, 48
    movaps %xmm8, 64(%rsp)
    .seh_savexmm %xmm8, 64
    movaps %xmm9, 80(%rsp)
    .seh_savexmm %xmm9, 80
    movaps %xmm10, 96(%rsp)
    .seh_savexmm %xmm10, 96
    movaps %xmm11, 112(%rsp)
    .seh_savexmm %xmm11, 112
    movaps %xmm12, 128(%rsp)
    .seh_savexmm %xmm12, 128
    movaps %xmm13, 144(%rsp)
    .seh_savexmm %xmm13, 144
    movaps %xmm14, 160(%rsp)
    .seh_savexmm %xmm14, 160
    movaps %xmm15, 176(%rsp)
    .seh_savexmm %xmm15, 176
    .seh_endprologue
    movq %r8, 192(%rsp)
    stmxcsr 200(%rsp)
    fnstcw 204(%rsp)
    movq %rcx, %rax
    movq %rdx, %rcx
    callq *%rax
    movl $1, %eax
.Lguard_epilogue:
    movaps 32(%rsp), %xmm6
    movaps 48(%rsp), %xmm7
    movaps 64(%rsp), %xmm8
    movaps 80(%rsp), %xmm9
    movaps 96(%rsp), %xmm10
    movaps 112(%rsp), %xmm11
    movaps 128(%rsp), %xmm12
    movaps 144(%rsp), %xmm13
    movaps 160(%rsp), %xmm14
    movaps 176(%rsp), %xmm15
    addq $216, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rdi
    popq %rsi
    popq %rbx
    popq %rbp
    ret
    .globl tavren_guard_resume
tavren_guard_resume:
    movq 192(%rsp), %rdx
    movl %eax, (%rdx)
    fninit
    fldcw 204(%rsp)
    ldmxcsr 200(%rsp)
    cld
    xorl %eax, %eax
    jmp .Lguard_epilogue
    .seh_endproc
)");

#else  // 32-bit

extern "C" EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                      void* dispatch) __asm__("tavren_guard_handler");
extern "C" void GuardUnwind(void* frame, EXCEPTION_RECORD* record) __asm__("tavren_guard_unwind")
    __attribute__((noreturn));

namespace {

// The registration record as the thunk pushes it: the two fields the
// system reads, then ours.
struct GuardRecord {
    GuardRecord* next;
    void* handler;
    uint32_t* code;
};

}  // namespace

// [the faulting thread] Called by the exception dispatcher for the thunk's
// record once every record pushed after it has passed the exception on.
extern "C" EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void*) {
    if (IsUnwinding(record) || !IsFault(record->ExceptionCode)) return ExceptionContinueSearch;
    *static_cast<GuardRecord*>(frame)->code = record->ExceptionCode;
    GuardUnwind(frame, record);
}

// Thunk frame, from ebp: -4 ebx, -8 esi, -12 edi, -16 the x87 control word,
// -20 MXCSR, -32 the registration record (next, handler, code pointer).
// tavren_guard_unwind(record, exception) runs on the dispatcher's stack far
// below: it unwinds the handler chain down to the record (RtlUnwind returns
// to the address it is given, right behind the call), then takes the
// thunk's frame back.
asm(R"(
    .text
    .p2align 4
    .globl tavren_guarded_thunk
tavren_guarded_thunk:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    subl $8, %esp
    fnstcw -16(%ebp)
    stmxcsr -20(%ebp)
    pushl 16(%ebp)
    pushl $tavren_guard_handler
    pushl %fs:0
    movl %esp, %fs:0
    pushl 12(%ebp)
    calll *8(%ebp)
    movl $1, %eax
.Lguard_unlink:
    leal -32(%ebp), %esp
    popl %ecx
    movl %ecx, %fs:0
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

    .p2align 4
    .globl tavren_guard_unwind
tavren_guard_unwind:
    movl 4(%esp), %ebx
    movl 8(%esp), %eax
    pushl $0
    pushl %eax
    pushl $.Lguard_unwound
    pushl %ebx
    calll _RtlUnwind@16
.Lguard_unwound:
    leal 32(%ebx), %ebp
    fninit
    fldcw -16(%ebp)
    ldmxcsr -20(%ebp)
    cld
    xorl %eax, %eax
    jmp .Lguard_unlink
)");

#endif

namespace tavren {

bool GuardedCall(void (*fn)(void*), void* arg, uint32_t* code) {
    uint32_t local = 0;
    uint32_t* out = code ? code : &local;
    *out = 0;
    if (GuardedThunk(fn, arg, out)) return true;
    // The overflow used up the guard page below the stack: without a new one
    // the next overflow would end the process unannounced.
    if (*out == kStackOverflowCode) _resetstkoflw();
    return false;
}

}  // namespace tavren
