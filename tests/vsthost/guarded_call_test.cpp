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

// The accumulators live in callee-saved registers across the calls (an
// optimised build keeps them there): a register the unwind left clobbered
// changes the sums.
TEST(GuardedCall, ThousandsOfFaultsLeaveStackRegistersAndHandlerChainIntact) {
    const void* stack = StackMark();
    const void* chain = HandlerChain();
    // Control bits only: the status flags are the arithmetic's own.
    const unsigned mxcsr = _mm_getcsr() & ~0x3Fu;
    const uint16_t x87 = X87ControlWord();
    constexpr int kCalls = 3000;
    uint32_t a = 1, b = 2, c = 3, d = 5, e = 7;
    double x = 0.5, y = 0.25;
    int faults = 0;
    for (int i = 0; i < kCalls; ++i) {
        uint32_t code = 0;
        if (!GuardedCall(ClobberAndFault, nullptr, &code) && IsFaultCode(code, 0xC0000005u)) ++faults;
        a += static_cast<uint32_t>(i);
        b ^= a * 3;
        c += b >> 1;
        d = d * 31 + c;
        e ^= d + a;
        x = x * 0.5 + i;
        y += x * 0.125;
    }
    uint32_t a2 = 1, b2 = 2, c2 = 3, d2 = 5, e2 = 7;
    double x2 = 0.5, y2 = 0.25;
    for (volatile int i = 0; i < kCalls; ++i) {
        a2 += static_cast<uint32_t>(i);
        b2 ^= a2 * 3;
        c2 += b2 >> 1;
        d2 = d2 * 31 + c2;
        e2 ^= d2 + a2;
        x2 = x2 * 0.5 + i;
        y2 += x2 * 0.125;
    }
    EXPECT_EQ(faults, kCalls);
    EXPECT_EQ(a, a2);
    EXPECT_EQ(b, b2);
    EXPECT_EQ(c, c2);
    EXPECT_EQ(d, d2);
    EXPECT_EQ(e, e2);
    EXPECT_EQ(x, x2);
    EXPECT_EQ(y, y2);
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
