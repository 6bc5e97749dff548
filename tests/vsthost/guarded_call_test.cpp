// Windows build only: natively a fault is a signal, which the guarded call
// leaves alone. Faults raised inside the call end it with their code; a
// fault the called code catches with a frame of its own stays its own; and
// after thousands of faults the caller's stack, registers and handler chain
// are as they were.
#include <windows.h>
#include <xmmintrin.h>

#include <gtest/gtest.h>

#include <thread>

#include "fault_codes.h"
#include "vsthost/guarded_call.h"

namespace tavren::test {
namespace {

void WriteThroughNull(void*) { *static_cast<volatile int*>(nullptr) = 1; }

void IllegalInstruction(void*) { __builtin_trap(); }

void DivideByZero(void* zero) { *static_cast<volatile int*>(zero) = 100 / *static_cast<volatile int*>(zero); }

void RaiseForeignException(void*) { RaiseException(0xE06D7363u, 0, 0, nullptr); }

void RaiseAccessViolation(void*) { RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr); }

__attribute__((noinline)) int Recurse(volatile char* previous, int depth) {
    volatile char block[4096];
    block[0] = static_cast<char>(previous[0] + 1);
    if (depth == 0) return block[0];
    return Recurse(block, depth - 1) + block[1];
}

void OverflowTheStack(void* depth) {
    volatile char first[1] = {0};
    Recurse(first, *static_cast<volatile int*>(depth));
}

// Every callee-saved register overwritten, the floating-point control
// words changed (and, 64-bit, the direction flag set: the 32-bit emulator
// hands it on to Wine's own signal handler), then a write through null:
// the unwound code never gets to restore any of it.
void ClobberAndFault(void*) {
#if defined(__x86_64__)
    asm volatile(
        "movabsq $0x5a5a5a5a5a5a5a5a, %%rax\n"
        "movq %%rax, %%rbx\n movq %%rax, %%rbp\n movq %%rax, %%rsi\n movq %%rax, %%rdi\n"
        "movq %%rax, %%r12\n movq %%rax, %%r13\n movq %%rax, %%r14\n movq %%rax, %%r15\n"
        "pcmpeqd %%xmm6, %%xmm6\n pcmpeqd %%xmm7, %%xmm7\n pcmpeqd %%xmm8, %%xmm8\n pcmpeqd %%xmm9, %%xmm9\n"
        "pcmpeqd %%xmm10, %%xmm10\n pcmpeqd %%xmm11, %%xmm11\n pcmpeqd %%xmm12, %%xmm12\n"
        "pcmpeqd %%xmm13, %%xmm13\n pcmpeqd %%xmm14, %%xmm14\n pcmpeqd %%xmm15, %%xmm15\n"
        "pushq $0x7fc0\n ldmxcsr (%%rsp)\n movw $0x0c7f, (%%rsp)\n fldcw (%%rsp)\n fld1\n fld1\n"
        "std\n xorl %%eax, %%eax\n movl %%eax, (%%rax)\n" ::: "memory");
#else
    asm volatile(
        "movl $0x5a5a5a5a, %%eax\n"
        "movl %%eax, %%ebx\n movl %%eax, %%ebp\n movl %%eax, %%esi\n movl %%eax, %%edi\n"
        "pushl $0x7fc0\n ldmxcsr (%%esp)\n movw $0x0c7f, (%%esp)\n fldcw (%%esp)\n fld1\n fld1\n"
        "xorl %%eax, %%eax\n movl %%eax, (%%eax)\n" ::: "memory");
#endif
}

__attribute__((noinline)) const void* StackMark() { return __builtin_frame_address(0); }

// The thread's first registration record (the thread block's first field).
const void* HandlerChain() {
    const void* first = nullptr;
#if defined(__x86_64__)
    asm volatile("movq %%gs:0, %0" : "=r"(first));
#else
    asm volatile("movl %%fs:0, %0" : "=r"(first));
#endif
    return first;
}

uint16_t X87ControlWord() {
    uint16_t word = 0;
    asm volatile("fnstcw %0" : "=m"(word));
    return word;
}

TEST(GuardedCall, FaultsOfEveryKindEndTheCallWithTheirCode) {
    int zero = 0;
    struct Case {
        const char* name;
        void (*fn)(void*);
        void* arg;
        uint32_t code;
        bool raisedBySoftware;
    };
    const Case cases[] = {
        {"access violation", WriteThroughNull, nullptr, 0xC0000005u, false},
        {"access violation raised by software", RaiseAccessViolation, nullptr, 0xC0000005u, true},
        {"illegal instruction", IllegalInstruction, nullptr, 0xC000001Du, false},
        {"integer division by zero", DivideByZero, &zero, 0xC0000094u, false},
        {"another runtime's C++ exception", RaiseForeignException, nullptr, 0xE06D7363u, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t code = 0;
        EXPECT_FALSE(GuardedCall(c.fn, c.arg, &code));
        EXPECT_TRUE(c.raisedBySoftware ? code == c.code : IsFaultCode(code, c.code)) << std::hex << code;
    }
    uint32_t code = 1;
    EXPECT_TRUE(GuardedCall([](void* n) { ++*static_cast<int*>(n); }, &zero, &code));
    EXPECT_EQ(zero, 1);
    EXPECT_EQ(code, 0u);
}

// On a thread whose stack keeps room for the handler, as the host thread's does.
TEST(GuardedCall, AStackOverflowEndsTheCallTwice) {
    std::thread thread([] {
        ULONG room = 64 * 1024;
        SetThreadStackGuarantee(&room);
        int depth = 1 << 30;
        for (int round = 0; round < 2; ++round) {
            uint32_t code = 0;
            EXPECT_FALSE(GuardedCall(OverflowTheStack, &depth, &code)) << round;
            EXPECT_TRUE(IsFaultCode(code, kStackOverflowCode)) << std::hex << code;
        }
    });
    thread.join();
}

struct Inner {
    bool returned = true;
    uint32_t code = 0;
    bool after = false;  // the code went on after catching
};

TEST(GuardedCall, AFaultTheCodeCatchesItselfIsNotSeenOutside) {
    Inner inner;
    uint32_t code = 0;
    const bool returned = GuardedCall(
        [](void* p) {
            auto* in = static_cast<Inner*>(p);
            in->returned = GuardedCall(WriteThroughNull, nullptr, &in->code);
            in->after = true;
        },
        &inner, &code);
    EXPECT_TRUE(returned);
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(inner.returned);
    EXPECT_TRUE(IsFaultCode(inner.code, 0xC0000005u)) << std::hex << inner.code;
    EXPECT_TRUE(inner.after);
}

// [asm below] Loads a value of its own into every callee-saved register
// (xmm: the low half), calls guardedCall(fn, nullptr, code) and writes what
// the registers hold afterwards into after, in the order of kRegisterNames.
extern "C" void KeepsRegisters(void* guardedCall, void (*fn)(void*), uint32_t* code, void* after)
    __asm__("tavren_test_keeps_registers");

#if defined(__x86_64__)
using RegisterValue = uint64_t;
const char* const kRegisterNames[] = {"rbx",   "rbp",   "rsi",   "rdi",   "r12",   "r13",   "r14",   "r15",   "xmm6",
                                      "xmm7",  "xmm8",  "xmm9",  "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15"};
constexpr RegisterValue kRegisterStep = 0x0101010101010101u;
asm(R"(
    .text
    .globl tavren_test_keeps_registers
tavren_test_keeps_registers:
    pushq %rbp
    pushq %rbx
    pushq %rsi
    pushq %rdi
    pushq %r12
    pushq %r13
    pushq %r14
    pushq %r15
    subq $200, %rsp
    movaps %xmm6, 32(%rsp)
    movaps %xmm7, 48(%rsp)
    movaps %xmm8, 64(%rsp)
    movaps %xmm9, 80(%rsp)
    movaps %xmm10, 96(%rsp)
    movaps %xmm11, 112(%rsp)
    movaps %xmm12, 128(%rsp)
    movaps %xmm13, 144(%rsp)
    movaps %xmm14, 160(%rsp)
    movaps %xmm15, 176(%rsp)
    movq %r9, 192(%rsp)
    movq %rcx, %r10
    movq %rdx, %rcx
    xorl %edx, %edx
    movabsq $0x101010101010101, %rbx
    movabsq $0x202020202020202, %rbp
    movabsq $0x303030303030303, %rsi
    movabsq $0x404040404040404, %rdi
    movabsq $0x505050505050505, %r12
    movabsq $0x606060606060606, %r13
    movabsq $0x707070707070707, %r14
    movabsq $0x808080808080808, %r15
    movabsq $0x909090909090909, %rax
    movq %rax, %xmm6
    movabsq $0xa0a0a0a0a0a0a0a, %rax
    movq %rax, %xmm7
    movabsq $0xb0b0b0b0b0b0b0b, %rax
    movq %rax, %xmm8
    movabsq $0xc0c0c0c0c0c0c0c, %rax
    movq %rax, %xmm9
    movabsq $0xd0d0d0d0d0d0d0d, %rax
    movq %rax, %xmm10
    movabsq $0xe0e0e0e0e0e0e0e, %rax
    movq %rax, %xmm11
    movabsq $0xf0f0f0f0f0f0f0f, %rax
    movq %rax, %xmm12
    movabsq $0x1010101010101010, %rax
    movq %rax, %xmm13
    movabsq $0x1111111111111111, %rax
    movq %rax, %xmm14
    movabsq $0x1212121212121212, %rax
    movq %rax, %xmm15
    callq *%r10
    movq 192(%rsp), %rax
    movq %rbx, 0(%rax)
    movq %rbp, 8(%rax)
    movq %rsi, 16(%rax)
    movq %rdi, 24(%rax)
    movq %r12, 32(%rax)
    movq %r13, 40(%rax)
    movq %r14, 48(%rax)
    movq %r15, 56(%rax)
    movq %xmm6, 64(%rax)
    movq %xmm7, 72(%rax)
    movq %xmm8, 80(%rax)
    movq %xmm9, 88(%rax)
    movq %xmm10, 96(%rax)
    movq %xmm11, 104(%rax)
    movq %xmm12, 112(%rax)
    movq %xmm13, 120(%rax)
    movq %xmm14, 128(%rax)
    movq %xmm15, 136(%rax)
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
    addq $200, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rdi
    popq %rsi
    popq %rbx
    popq %rbp
    ret
)");
#else
using RegisterValue = uint32_t;
const char* const kRegisterNames[] = {"ebx", "ebp", "esi", "edi"};
constexpr RegisterValue kRegisterStep = 0x01010101u;
asm(R"(
    .text
    .globl tavren_test_keeps_registers
tavren_test_keeps_registers:
    pushl %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 20(%esp), %eax
    movl 24(%esp), %ecx
    movl 28(%esp), %edx
    movl $0x1010101, %ebx
    movl $0x2020202, %ebp
    movl $0x3030303, %esi
    movl $0x4040404, %edi
    pushl %edx
    pushl $0
    pushl %ecx
    calll *%eax
    addl $12, %esp
    movl 32(%esp), %eax
    movl %ebx, 0(%eax)
    movl %ebp, 4(%eax)
    movl %esi, 8(%eax)
    movl %edi, 12(%eax)
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
#endif

TEST(GuardedCall, ThousandsOfFaultsLeaveStackRegistersAndHandlerChainIntact) {
    const void* stack = StackMark();
    const void* chain = HandlerChain();
    // Control bits only: the status flags are the arithmetic's own.
    const unsigned mxcsr = _mm_getcsr() & ~0x3Fu;
    const uint16_t x87 = X87ControlWord();
    constexpr int kCalls = 3000;
    constexpr size_t kRegisters = sizeof kRegisterNames / sizeof kRegisterNames[0];
    int faults = 0, changed = 0;
    for (int i = 0; i < kCalls; ++i) {
        uint32_t code = 0;
        RegisterValue after[kRegisters] = {};
        KeepsRegisters(reinterpret_cast<void*>(&GuardedCall), ClobberAndFault, &code, after);
        if (IsFaultCode(code, 0xC0000005u)) ++faults;
        for (size_t r = 0; r < kRegisters; ++r) {
            if (after[r] != kRegisterStep * (r + 1) && changed++ < 5) ADD_FAILURE() << kRegisterNames[r] << " changed";
        }
    }
    EXPECT_EQ(faults, kCalls);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(StackMark(), stack);
    EXPECT_EQ(HandlerChain(), chain);
    EXPECT_EQ(_mm_getcsr() & ~0x3Fu, mxcsr);
    EXPECT_EQ(X87ControlWord(), x87);
    // And it still works both ways.
    uint32_t code = 0;
    EXPECT_FALSE(GuardedCall(WriteThroughNull, nullptr, &code));
    EXPECT_TRUE(GuardedCall([](void*) {}, nullptr, &code));
}

}  // namespace
}  // namespace tavren::test
