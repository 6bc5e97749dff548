#include "wav_writer.h"

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

}  // namespace

WavWriter::~WavWriter() {
    if (file) Close();
}

bool WavWriter::Open(const std::string& path, uint32_t r, uint16_t ch, int b) {
    file = std::fopen(path.c_str(), "wb");
    rate = r;
    channels = ch;
    bits = static_cast<uint16_t>(b);
    dataBytes = 0;
    ok = file && WriteHeader();
    return ok;
}

bool WavWriter::WriteHeader() {
    uint8_t h[58];
    uint32_t block = channels * (bits / 8u);
    // Sizes beyond 4 GiB cannot be told in a WAV header: they are capped.
    uint32_t data = dataBytes > 0xFFFFFFF0u ? 0xFFFFFFF0u : static_cast<uint32_t>(dataBytes);
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, 50 + data);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 18);
    Put16(h + 20, 3);  // IEEE float
    Put16(h + 22, channels);
    Put32(h + 24, rate);
    Put32(h + 28, rate * block);
    Put16(h + 32, static_cast<uint16_t>(block));
    Put16(h + 34, bits);
    Put16(h + 36, 0);
    std::memcpy(h + 38, "fact", 4);
    Put32(h + 42, 4);
    Put32(h + 46, block ? data / block : 0);
    std::memcpy(h + 50, "data", 4);
    Put32(h + 54, data);
    return std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(h, 1, sizeof h, file) == sizeof h;
}

bool WavWriter::Write(const void* data, size_t bytes) {
    if (!file) return false;
    if (std::fwrite(data, 1, bytes, file) != bytes) ok = false;
    dataBytes += bytes;
    return ok;
}

bool WavWriter::Close() {
    if (!file) return false;
    bool done = ok && WriteHeader();
    done = std::fclose(file) == 0 && done;
    file = nullptr;
    return done;
}

}  // namespace hmxplay
