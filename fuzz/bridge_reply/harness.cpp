// libFuzzer entry for the player's reader of what a host process answers:
// the host process is not trusted, so any reply must be read without an
// out-of-bounds access or undefined behaviour, and one taken as sound must
// be exactly what the request allows. The input's first bytes shape the
// request (reply kind; for a block, its parts, their frames and sample
// width); the rest is the reply, in a buffer of exactly its size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/invariant.h"
#include "vsthost/block_request.h"
#include "vsthost/bridge_protocol.h"

namespace {

using tavren::BlockRequest;
using tavren::kMaxBlockInstances;
namespace bridge = tavren::bridge;

constexpr const char* kTarget = "bridge_reply";

void CheckDispatch(const std::vector<unsigned char>& reply) {
    bridge::Reader reader(reply.data(), reply.size());
    bridge::DispatchReply out;
    if (!bridge::ReadDispatchReply(reader, out)) return;
    if (out.byteCount > bridge::kMaxNameBytes) fuzzsupport::Broken(kTarget, "a name longer than a name may be");
    if (out.bytes && (out.bytes < reply.data() || out.bytes + out.byteCount > reply.data() + reply.size()))
        fuzzsupport::Broken(kTarget, "a name outside the reply");
    if (out.hasRect && out.bytes) fuzzsupport::Broken(kTarget, "a reply both a name and a rectangle");
}

void CheckBlock(const uint8_t*& data, size_t& size) {
    if (size < 1) return;
    BlockRequest request;
    request.count = 1 + data[0] % kMaxBlockInstances;
    ++data, --size;
    uint32_t sampleBytes[kMaxBlockInstances] = {};
    std::vector<std::vector<unsigned char>> buffers(2 * static_cast<size_t>(request.count));
    for (int32_t i = 0; i < request.count; ++i) {
        const uint8_t shape = size ? data[0] : 0;
        if (size) ++data, --size;
        sampleBytes[i] = shape & 0x80 ? 8 : 4;
        request.parts[i].frames = shape & 0x3F;  // 0 to 63: a part without a process call included
        // Exactly the part's size, so that a write past it is seen.
        for (int side = 0; side < 2; ++side)
            buffers[2 * i + side].resize(static_cast<size_t>(request.parts[i].frames) * sampleBytes[i]);
        if (!(shape & 0x40)) {
            request.parts[i].left = buffers[2 * i].data();
            request.parts[i].right = buffers[2 * i + 1].data();
        }
    }
    std::vector<unsigned char> reply(data, data + size);
    bridge::Reader reader(reply.data(), reply.size());
    const bool ok = bridge::ReadBlockReply(reader, request, sampleBytes);
    size_t expected = 8;
    for (int32_t i = 0; i < request.count; ++i) {
        const auto& part = request.parts[i];
        if (part.rendered && !ok) fuzzsupport::Broken(kTarget, "a part rendered from a reply refused");
        if (part.rendered && (part.frames <= 0 || !part.left || i >= request.served))
            fuzzsupport::Broken(kTarget, "a part rendered that the request did not allow");
        expected += 12 + (part.rendered ? 2 * static_cast<size_t>(part.frames) * sampleBytes[i] : 0);
    }
    if (ok && (request.served < 0 || request.served > request.count))
        fuzzsupport::Broken(kTarget, "more parts served than asked for");
    if (ok && expected != reply.size()) fuzzsupport::Broken(kTarget, "a reply taken with bytes to spare or missing");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool block = data[0] & 1;
    ++data, --size;
    if (block) {
        CheckBlock(data, size);
    } else {
        CheckDispatch(std::vector<unsigned char>(data, data + size));
    }
    return 0;
}
