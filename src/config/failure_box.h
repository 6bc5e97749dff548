// The box that tells the user an instrument failed while it played: it
// names the instrument and what happened, and says that the song was
// stopped. It has a thread of its own, so neither the thread that saw the
// failure nor the decoding thread waits for the user; the module's last
// release waits for the boxes still open, whose threads must not outlive
// the plug-in's code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavren {

enum class InstrumentFailure {
    Crashed,            // with the exception code (in-process) or the exit code (host process)
    StoppedResponding,  // a request left unanswered past its bound
};

// [any thread] Shows the box, captioned with the plug-in's file name, and
// returns at once. path is the instrument library's; code is shown for
// Crashed. Without memory or a thread for it, no box is shown.
void ShowInstrumentFailure(const char16_t* path, InstrumentFailure what, uint32_t code);

// [any thread] The sentence that says what happened ("... crashed (code
// 0x...)."), into text of capacity characters, cut when longer: the load
// failure of a song open names its reason with it.
void DescribeInstrumentFailure(char16_t* text, size_t capacity, InstrumentFailure what, uint32_t code);

// [any thread, never a box's own] Returns once every box shown so far has
// been closed and its thread has ended.
void WaitForFailureBoxes();

}  // namespace tavren
