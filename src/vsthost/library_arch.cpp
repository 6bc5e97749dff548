#include "vsthost/library_arch.h"

#include <cstdint>

#include "platform/platform.h"

namespace tavren {

namespace {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kElfMachine386 = 3;
constexpr uint16_t kElfMachineX8664 = 62;

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

LibraryArch FromElf(const unsigned char* head, unsigned long size) {
    if (size < 20) return LibraryArch::Unknown;
    // Little-endian objects only: the instruments run on x86 machines.
    if (head[5] != 1) return LibraryArch::Unknown;
    const uint16_t machine = Le16(head + 18);
    if (head[4] == 1 && machine == kElfMachine386) return LibraryArch::X86;
    if (head[4] == 2 && machine == kElfMachineX8664) return LibraryArch::X64;
    return LibraryArch::Unknown;
}

}  // namespace

LibraryArch LibraryArchOf(const unsigned char* head, unsigned long headSize, const unsigned char* pe,
                          unsigned long peSize) {
    if (headSize >= 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F')
        return FromElf(head, headSize);
    if (headSize < 0x40 || head[0] != 'M' || head[1] != 'Z') return LibraryArch::Unknown;
    if (peSize < 6 || pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return LibraryArch::Unknown;
    switch (Le16(pe + 4)) {
        case kMachineI386: return LibraryArch::X86;
        case kMachineAmd64: return LibraryArch::X64;
        default: return LibraryArch::Unknown;
    }
}

LibraryArch ReadLibraryArch(const char16_t* path) {
    unsigned char head[64] = {};
    const size_t headSize = platform::ReadFileAt(path, 0, head, sizeof head);
    unsigned char pe[8] = {};
    size_t peSize = 0;
    if (headSize >= 0x40 && head[0] == 'M' && head[1] == 'Z')
        peSize = platform::ReadFileAt(path, Le32(head + 0x3C), pe, sizeof pe);
    return LibraryArchOf(head, static_cast<unsigned long>(headSize), pe, static_cast<unsigned long>(peSize));
}

LibraryArch OwnArch() { return sizeof(void*) == 8 ? LibraryArch::X64 : LibraryArch::X86; }

}  // namespace tavren
