#include "sysex.h"

namespace tone {
namespace {

using Kind = SysexCommand::Kind;

bool Matches(const uint8_t* bytes, size_t size, const uint8_t* pattern, size_t count) {
    if (size < count) return false;
    for (size_t i = 0; i < count; ++i) {
        if (pattern[i] != 0xFF && bytes[i] != pattern[i]) return false;  // 0xFF: any device id
    }
    return true;
}

// Roland's checksum covers address and data: their sum plus it is 0 mod 128.
bool RolandChecksumOk(const uint8_t* bytes, size_t first, size_t checksumAt) {
    unsigned sum = 0;
    for (size_t i = first; i <= checksumAt; ++i) sum += bytes[i];
    return (sum & 0x7F) == 0;
}

SysexCommand Parse(const uint8_t* b, size_t size) {
    static const uint8_t kGmOn[] = {0xF0, 0x7E, 0xFF, 0x09, 0x01};
    static const uint8_t kGm2On[] = {0xF0, 0x7E, 0xFF, 0x09, 0x03};
    static const uint8_t kMasterVolume[] = {0xF0, 0x7F, 0xFF, 0x04, 0x01};
    static const uint8_t kXgParam[] = {0xF0, 0x43, 0xFF, 0x4C, 0x00, 0x00};
    static const uint8_t kGsData[] = {0xF0, 0x41, 0xFF, 0x42, 0x12};

    if (Matches(b, size, kGmOn, 5) || Matches(b, size, kGm2On, 5)) return {Kind::Reset, 0};
    if (Matches(b, size, kMasterVolume, 5) && size >= 7) {
        return {Kind::MasterVolume, ((b[6] << 7) | b[5]) / 16383.0};
    }
    // XG: the device byte is 0x1n; address 00 00 7E is "system on", 00 00 04 master volume.
    if (Matches(b, size, kXgParam, 6) && (b[2] & 0xF0) == 0x10 && size >= 8) {
        if (b[6] == 0x7E) return {Kind::Reset, 0};
        if (b[6] == 0x04) return {Kind::MasterVolume, b[7] / 127.0};
    }
    // GS: address 40 00 7F is the reset, 40 00 04 master volume; 00 00 7F sets system mode.
    if (Matches(b, size, kGsData, 5) && size >= 10 && RolandChecksumOk(b, 5, 9)) {
        if (b[5] == 0x40 && b[6] == 0x00 && b[7] == 0x7F) return {Kind::Reset, 0};
        if (b[5] == 0x00 && b[6] == 0x00 && b[7] == 0x7F) return {Kind::Reset, 0};
        if (b[5] == 0x40 && b[6] == 0x00 && b[7] == 0x04) return {Kind::MasterVolume, b[8] / 127.0};
    }
    return {};
}

}  // namespace

SysexCommand ParseSysex(const uint8_t* bytes, size_t size) {
    if (bytes == nullptr || size < 5 || bytes[0] != 0xF0) return {};
    return Parse(bytes, size);
}

}  // namespace tone
