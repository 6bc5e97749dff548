// The host process of an instrument: started by the plug-in only, with the
// shared memory and the handles it answers through on its command line.
#include <cstdio>

#include "vsthost/bridge_channel.h"
#include "vsthost/bridge_server.h"

int main(int argc, char** argv) {
    tavren::bridge::Channel* channel = tavren::bridge::AttachToPlayer(argc, argv);
    if (!channel) {
        std::fprintf(stderr, "%s: the plug-in starts this program to host an instrument; it is not run by hand\n",
                     argc > 0 ? argv[0] : "tavren_host");
        return 2;
    }
    const int status = tavren::bridge::ServeBridge(channel);
    tavren::bridge::CloseChannel(channel);
    return status;
}
