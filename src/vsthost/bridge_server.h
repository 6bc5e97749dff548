// The host process's side of the bridge: it loads the instrument library on
// a host thread of its own (the same host thread the plug-in runs
// in-process, with its message loop and the editor windows) and answers
// the player's requests in the order they were queued. The main thread only
// hands each request to the host thread and goes on to the next, so a block
// queued behind another renders as soon as that one is done.
#pragma once

#include "vsthost/bridge_channel.h"

namespace tavren::bridge {

// [main thread] Serves until the player asks to quit (gives 0) or has ended
// (the process then ends at once: an instrument may hang in its cleanup).
int ServeBridge(Channel* channel);

}  // namespace tavren::bridge
