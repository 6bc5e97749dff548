// A WAV file of IEEE float samples (format 3), 32- or 64-bit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace hmxplay {

class WavWriter {
public:
    ~WavWriter();
    bool Open(const std::string& path, uint32_t rate, uint16_t channels, int bits);
    bool Write(const void* data, size_t bytes);
    // Writes the sizes into the header and closes the file.
    bool Close();

private:
    bool WriteHeader();
    std::FILE* file = nullptr;
    uint32_t rate = 0;
    uint16_t channels = 0;
    uint16_t bits = 0;
    uint64_t dataBytes = 0;
    bool ok = true;
};

}  // namespace hmxplay
