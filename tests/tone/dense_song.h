// A dense, deterministic arrangement for all sixteen channels: every channel
// a different program family, chords and fast lines, drums on channel 10,
// controller sweeps and pitch bends. The same seconds give the same events.
// - ScheduleDenseSong(host, seconds): schedules it from frame 0 onwards.
#pragma once

class ToneHost;

void ScheduleDenseSong(ToneHost& host, double seconds);
