// The bridge's pieces that need no host process: telling a library's
// architecture from its header, and reading what a host process answers,
// which the plug-in must never trust.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "probe_fixture.h"
#include "vsthost/bridge_protocol.h"
#include "vsthost/library_arch.h"

namespace tavren {
namespace {

using Bytes = std::vector<unsigned char>;

// A DLL's first 64 bytes with its PE header's offset, and that header's start.
Bytes DosHead() {
    Bytes head(64, 0);
    head[0] = 'M';
    head[1] = 'Z';
    head[0x3C] = 0x80;
    return head;
}
Bytes PeHead(uint16_t machine) { return {'P', 'E', 0, 0, uint8_t(machine), uint8_t(machine >> 8)}; }
Bytes ElfHead(uint8_t elfClass, uint8_t order, uint16_t machine) {
    Bytes head(20, 0);
    head[0] = 0x7F, head[1] = 'E', head[2] = 'L', head[3] = 'F', head[4] = elfClass, head[5] = order;
    head[18] = uint8_t(machine), head[19] = uint8_t(machine >> 8);
    return head;
}

TEST(LibraryArch, FromTheHeaders) {
    const struct {
        const char* name;
        Bytes head, pe;
        LibraryArch arch;
    } cases[] = {
        {"PE i386", DosHead(), PeHead(0x014C), LibraryArch::X86},
        {"PE AMD64", DosHead(), PeHead(0x8664), LibraryArch::X64},
        {"PE ARM64", DosHead(), PeHead(0xAA64), LibraryArch::Unknown},
        {"MZ without PE", DosHead(), {'N', 'E', 0, 0, 0x4C, 0x01}, LibraryArch::Unknown},
        {"MZ cut short", Bytes{'M', 'Z', 0, 0}, PeHead(0x014C), LibraryArch::Unknown},
        {"PE header cut short", DosHead(), {'P', 'E', 0, 0}, LibraryArch::Unknown},
        {"ELF32 i386", ElfHead(1, 1, 3), {}, LibraryArch::X86},
        {"ELF64 x86-64", ElfHead(2, 1, 62), {}, LibraryArch::X64},
        {"ELF64 big-endian", ElfHead(2, 2, 62), {}, LibraryArch::Unknown},
        {"ELF class and machine disagree", ElfHead(1, 1, 62), {}, LibraryArch::Unknown},
        {"text", Bytes{'h', 'e', 'l', 'l', 'o'}, {}, LibraryArch::Unknown},
        {"nothing", Bytes{}, {}, LibraryArch::Unknown},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LibraryArchOf(c.head.data(), static_cast<unsigned long>(c.head.size()), c.pe.data(),
                                static_cast<unsigned long>(c.pe.size())),
                  c.arch)
            << c.name;
}

TEST(LibraryArch, TheBuildsOwnProbeIsItsOwnAndAMissingFileIsUnknown) {
    EXPECT_EQ(ReadLibraryArch(test::LibraryPath("probe").c_str()), OwnArch());
    EXPECT_EQ(ReadLibraryArch(u"/no/such/library.dll"), LibraryArch::Unknown);
}

// ---- replies ----

using bridge::Reader;
using bridge::Writer;

struct Reply {
    unsigned char bytes[4096] = {};
    Writer w{bytes, sizeof bytes};
    Reader Read() const { return Reader(bytes, w.Size()); }
};

// A request of two float parts of 4 frames each, writing into out.
struct TwoParts {
    float out[2][8] = {};
    BlockRequest request;
    uint32_t widths[2] = {4, 4};
    TwoParts() {
        request.count = 2;
        for (int i = 0; i < 2; ++i) {
            request.parts[i].frames = 4;
            request.parts[i].left = out[i];
            request.parts[i].right = out[i] + 4;
        }
    }
};

// A well-formed reply for TwoParts with its fields changeable: served,
// then each part's rendered flag, frames, width and 2 * frames samples.
void WriteBlockReply(Writer& w, int32_t served, uint32_t rendered1, int32_t frames1, uint32_t width1,
                     size_t samples1) {
    w.I32(served);
    w.U32(1234);
    w.U32(1);
    w.I32(4);
    w.U32(4);
    for (int k = 0; k < 8; ++k) w.F32(float(k + 1));
    w.U32(rendered1);
    w.I32(frames1);
    w.U32(width1);
    for (size_t k = 0; k < samples1; ++k) w.F32(-float(k + 1));
}

TEST(BridgeReplies, AWellFormedBlockReplyFillsEachPart) {
    TwoParts t;
    Reply reply;
    WriteBlockReply(reply.w, 2, 1, 4, 4, 8);
    Reader r = reply.Read();
    ASSERT_TRUE(bridge::ReadBlockReply(r, t.request, t.widths));
    EXPECT_EQ(t.request.served, 2);
    EXPECT_EQ(t.request.serviceMicros, 1234u);
    EXPECT_TRUE(t.request.parts[0].rendered);
    EXPECT_TRUE(t.request.parts[1].rendered);
    EXPECT_EQ(t.out[0][0], 1.0f);
    EXPECT_EQ(t.out[0][7], 8.0f);
    EXPECT_EQ(t.out[1][7], -8.0f);
}

TEST(BridgeReplies, ABlockReplyThatDoesNotAnswerTheRequestIsRefusedWhole) {
    const struct {
        const char* name;
        int32_t served;
        uint32_t rendered;
        int32_t frames;
        uint32_t width;
        size_t samples;
        int trailing;
    } cases[] = {
        {"more parts served than asked", 3, 1, 4, 4, 8, 0},
        {"a part rendered that was not served", 1, 1, 4, 4, 8, 0},
        {"other frames than asked", 2, 1, 5, 4, 10, 0},
        {"other width than prepared", 2, 1, 4, 8, 16, 0},
        {"samples cut short", 2, 1, 4, 4, 7, 0},
        {"bytes after the end", 2, 1, 4, 4, 8, 1},
        {"a rendered flag of neither kind", 2, 2, 4, 4, 8, 0},
        {"a negative served count", -1, 1, 4, 4, 8, 0},
    };
    for (const auto& c : cases) {
        TwoParts t;
        Reply reply;
        WriteBlockReply(reply.w, c.served, c.rendered, c.frames, c.width, c.samples);
        if (c.trailing) reply.w.U32(0);
        Reader r = reply.Read();
        EXPECT_FALSE(bridge::ReadBlockReply(r, t.request, t.widths)) << c.name;
        EXPECT_FALSE(t.request.parts[0].rendered) << c.name;
        EXPECT_EQ(t.out[0][0], 0.0f) << c.name << ": nothing is copied from a reply refused";
    }
}

TEST(BridgeReplies, DispatchRepliesAreCheckedBeforeUse) {
    const struct {
        const char* name;
        uint32_t kind, count, bytes;
        bool ok;
    } cases[] = {
        {"nothing out", bridge::kOutNone, 0, 0, true},
        {"a name", bridge::kOutBytes, 7, 7, true},
        {"a name too long", bridge::kOutBytes, bridge::kMaxNameBytes + 1, bridge::kMaxNameBytes + 1, false},
        {"a name cut short", bridge::kOutBytes, 7, 6, false},
        {"a rectangle", bridge::kOutRect, 8, 8, true},
        {"a rectangle of another size", bridge::kOutRect, 6, 6, false},
        {"an unknown kind", 9, 0, 0, false},
        {"nothing out, yet a count", bridge::kOutNone, 4, 4, false},
    };
    for (const auto& c : cases) {
        Reply reply;
        reply.w.I64(42);
        reply.w.Put(bridge::Snapshot());
        reply.w.U32(c.kind);
        reply.w.U32(c.count);
        for (uint32_t k = 0; k < c.bytes; ++k) reply.w.Bytes("x", 1);
        Reader r = reply.Read();
        bridge::DispatchReply out;
        EXPECT_EQ(bridge::ReadDispatchReply(r, out), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(out.result, 42) << c.name;
        }
    }
}

}  // namespace
}  // namespace tavren
