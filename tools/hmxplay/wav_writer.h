// A WAV file of IEEE float samples (format 3), 32- or 64-bit, whose header
// tells the truth while it is being written: it is rewritten with the sizes
// so far at least once a second of wall time, so that a render cut short
// (killed, a crash, a full disk) still leaves a file that plays up to there.
// Past 4 GiB the 32-bit size fields cannot count the data: the file becomes
// RF64, whose ds64 chunk takes the place a JUNK chunk holds until then.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace hmxplay {

constexpr size_t kWavHeaderBytes = 94;

// The header for dataBytes of audio: RIFF while every size fits 32 bits,
// else RF64.
std::array<uint8_t, kWavHeaderBytes> WavHeader(uint64_t dataBytes, uint32_t rate, uint16_t channels, uint16_t bits);

class WavWriter {
public:
    ~WavWriter();
    // False, with the reason in Error(), when the file cannot be made.
    bool Open(const std::string& path, uint32_t rate, uint16_t channels, int bits);
    // Appends audio; false, with the reason in Error(), when it cannot.
    bool Write(const void* data, size_t bytes);
    // Writes the final sizes into the header and closes the file.
    bool Close();
    const std::string& Error() const { return error; }

private:
    bool WriteHeader();
    bool Fail();  // keeps errno's reason
    std::FILE* file = nullptr;
    uint32_t rate = 0;
    uint16_t channels = 0;
    uint16_t bits = 0;
    uint64_t dataBytes = 0;
    std::chrono::steady_clock::time_point headerWritten;
    std::string error;
};

}  // namespace hmxplay
