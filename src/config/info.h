// The "Info" command: a text describing the loaded instrument, in a box.
#pragma once

namespace tavren {

struct IHmxConfig;

// [any thread] Loads the instrument (or takes an idle instance), shows its
// description in a box captioned "VSTi Information" and returns when the
// user closes it; "failed to load plug-in" when no instrument can be had.
void ShowInfo(IHmxConfig* config);

}  // namespace tavren
