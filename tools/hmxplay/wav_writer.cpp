#include "wav_writer.h"

#include <cerrno>
#include <cstring>

namespace hmxplay {

namespace {

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void Put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Seeks that stay right past 2 GiB, where Windows' long is 32 bits.
bool SeekTo(std::FILE* file, int whence) {
#if defined(_WIN32)
    return fseeko64(file, 0, whence) == 0;
#else
    return fseeko(file, 0, whence) == 0;
#endif
}

// A size that a 32-bit field cannot hold reads "see ds64".
uint32_t Field32(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }

}  // namespace

std::array<uint8_t, kWavHeaderBytes> WavHeader(uint64_t dataBytes, uint32_t rate, uint16_t channels, uint16_t bits) {
    std::array<uint8_t, kWavHeaderBytes> header{};
    uint8_t* h = header.data();
    const uint32_t block = channels * (bits / 8u);
    const uint64_t frames = block ? dataBytes / block : 0;
    const uint64_t riffBytes = kWavHeaderBytes - 8 + dataBytes;
    const bool rf64 = riffBytes > 0xFFFFFFFFu;
    std::memcpy(h, rf64 ? "RF64" : "RIFF", 4);
    Put32(h + 4, Field32(riffBytes));
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, rf64 ? "ds64" : "JUNK", 4);
    Put32(h + 16, 28);
    if (rf64) {
        Put64(h + 20, riffBytes);
        Put64(h + 28, dataBytes);
        Put64(h + 36, frames);
        Put32(h + 44, 0);  // no table of further chunk sizes
    }
    std::memcpy(h + 48, "fmt ", 4);
    Put32(h + 52, 18);
    Put16(h + 56, 3);  // IEEE float
    Put16(h + 58, channels);
    Put32(h + 60, rate);
    Put32(h + 64, rate * block);
    Put16(h + 68, static_cast<uint16_t>(block));
    Put16(h + 70, bits);
    Put16(h + 72, 0);
    std::memcpy(h + 74, "fact", 4);
    Put32(h + 78, 4);
    Put32(h + 82, rf64 ? 0xFFFFFFFFu : Field32(frames));
    std::memcpy(h + 86, "data", 4);
    Put32(h + 90, rf64 ? 0xFFFFFFFFu : static_cast<uint32_t>(dataBytes));
    return header;
}

WavWriter::~WavWriter() {
    if (file) Close();
}

bool WavWriter::Fail() {
    if (error.empty()) error = errno ? std::strerror(errno) : "a write failed";
    return false;
}

bool WavWriter::Open(const std::string& path, uint32_t r, uint16_t ch, int b) {
    errno = 0;
    file = std::fopen(path.c_str(), "wb");
    if (!file) return Fail();
    rate = r;
    channels = ch;
    bits = static_cast<uint16_t>(b);
    dataBytes = 0;
    return WriteHeader();
}

bool WavWriter::WriteHeader() {
    const auto header = WavHeader(dataBytes, rate, channels, bits);
    errno = 0;
    // Flushed, so that a reader (or what is left after a kill) sees the sizes.
    const bool ok = std::fflush(file) == 0 && SeekTo(file, SEEK_SET) &&
                    std::fwrite(header.data(), 1, header.size(), file) == header.size() &&
                    SeekTo(file, SEEK_END) && std::fflush(file) == 0;
    headerWritten = std::chrono::steady_clock::now();
    return ok || Fail();
}

bool WavWriter::Write(const void* data, size_t bytes) {
    if (!file || !error.empty()) return false;
    errno = 0;
    if (std::fwrite(data, 1, bytes, file) != bytes) return Fail();
    dataBytes += bytes;
    if (std::chrono::steady_clock::now() - headerWritten >= std::chrono::seconds(1)) return WriteHeader();
    return true;
}

bool WavWriter::Close() {
    if (!file) return false;
    bool done = error.empty() && WriteHeader();
    errno = 0;
    if (std::fclose(file) != 0 && done) done = Fail();
    file = nullptr;
    return done;
}

}  // namespace hmxplay
