// Writes a seed corpus of host-process replies into the folder given, as the
// harness reads them: a selector byte (bit 0: a block reply), for a block
// its parts' count and shapes, then the reply itself: dispatcher replies
// with a name, a rectangle or nothing; block replies of one to eight parts
// of either sample width, some parts not rendered.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/seed_files.h"

namespace {

using Bytes = std::vector<uint8_t>;

void U32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

Bytes DispatchReply(uint32_t kind, const Bytes& payload) {
    Bytes out = {0};                      // selector: a dispatcher reply
    for (int i = 0; i < 8; ++i) out.push_back(i == 0 ? 1 : 0);  // result 1
    const int32_t snapshot[9] = {0x56737450, 0x131, 1, 0, 0, 2, 0, 0x50726F62, 1};
    for (int32_t field : snapshot) U32(out, uint32_t(field));
    U32(out, kind);
    U32(out, uint32_t(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// parts: frames (1 to 63) and width (4 or 8) each; rendered when frames > 0.
Bytes BlockReply(const std::vector<std::pair<int, int>>& parts) {
    Bytes out = {1, uint8_t(parts.size() - 1)};
    for (const auto& [frames, width] : parts) out.push_back(uint8_t((width == 8 ? 0x80 : 0) | (frames & 0x3F)));
    U32(out, uint32_t(parts.size()));  // served
    U32(out, 250);                     // service time
    for (const auto& [frames, width] : parts) {
        U32(out, frames > 0 ? 1 : 0);
        U32(out, uint32_t(frames));
        U32(out, uint32_t(width));
        for (int i = 0; i < 2 * frames * width; ++i) out.push_back(uint8_t(i * 7));
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::vector<std::pair<std::string, Bytes>> seeds = {
        {"dispatch_none", DispatchReply(0, {})},
        {"dispatch_name", DispatchReply(1, {'P', 'r', 'o', 'b', 'e', 0})},
        {"dispatch_rect", DispatchReply(2, {0, 0, 0, 0, 0x20, 0x01, 0x80, 0x02})},
        {"block_one_float", BlockReply({{16, 4}})},
        {"block_one_double", BlockReply({{16, 8}})},
        {"block_two_one_silent", BlockReply({{8, 4}, {0, 4}})},
        {"block_eight", BlockReply({{4, 4}, {4, 8}, {4, 4}, {4, 8}, {4, 4}, {4, 8}, {4, 4}, {63, 4}})},
    };
    for (const auto& [name, bytes] : seeds)
        if (!fuzzsupport::WriteSeed(folder, name, bytes.data(), bytes.size())) return 1;
    return 0;
}
