// A minimal VST 2 host for driving one instrument in tests and tools, in the
// same call sequence as the plug-in's host: open, per-song setup, events
// before every block (possibly none), process, then stop and close.
// - ToneHost(path, options): loads the library and starts a song; Ready()
//   tells whether the instrument was found and accepted.
// - MidiAt / SysexAt(frame, ...): schedules an event at an absolute frame;
//   Midi / Sysex(...) at the current position.
// - Render(frames): renders that many more frames into left/right.
// - Vendor(), Product(): the instrument's strings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dynamic_library.h"
#include "vsthost/vst2.h"

struct HostOptions {
    double sampleRate = 44100.0;
    int blockSize = 1024;
    bool doublePrecision = false;
};

class ToneHost {
public:
    ToneHost(const std::string& path, HostOptions options = {});
    ~ToneHost();
    ToneHost(const ToneHost&) = delete;
    ToneHost& operator=(const ToneHost&) = delete;

    bool Ready() const { return effect != nullptr; }
    vst2::AEffect* Effect() const { return effect; }

    void MidiAt(int64_t frame, uint8_t status, uint8_t data1, uint8_t data2 = 0);
    void SysexAt(int64_t frame, std::vector<uint8_t> bytes);
    // Events at the current position, for tests that play step by step.
    void Midi(uint8_t status, uint8_t data1, uint8_t data2 = 0) { MidiAt(position, status, data1, data2); }
    void Sysex(std::vector<uint8_t> bytes) { SysexAt(position, std::move(bytes)); }
    void Render(int64_t frames);

    std::string Vendor() const;
    std::string Product() const;
    int64_t Position() const { return position; }
    double SampleRate() const { return options.sampleRate; }

    std::vector<double> left;
    std::vector<double> right;

private:
    struct Pending {
        int64_t frame;
        std::vector<uint8_t> bytes;
    };
    std::vector<Pending>::iterator InsertAt(int64_t frame);
    void SendEvents(int64_t blockStart, int blockFrames);
    void ProcessBlock(int frames);
    intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) const;

    HostOptions options;
    std::unique_ptr<DynamicLibrary> library;
    vst2::AEffect* effect = nullptr;
    std::vector<Pending> pending;  // sorted by frame, stable; those before nextPending are sent
    size_t nextPending = 0;
    // One block's scratch: its event records and their VstEvents head, its outputs in single precision.
    std::vector<vst2::VstMidiEvent> midi;
    std::vector<vst2::VstMidiSysexEvent> sysex;
    std::vector<char> eventStorage;
    std::vector<float> floatLeft, floatRight;
    int64_t position = 0;
};

// Level of one channel over the frames [from, to).
double Peak(const std::vector<double>& samples, size_t from = 0, size_t to = SIZE_MAX);
double Rms(const std::vector<double>& samples, size_t from = 0, size_t to = SIZE_MAX);
