// The instrument host's lifetime follows the module objects: it survives
// the release of one module while another lives, and the last release stops
// it and unloads the instrument.
#include <gtest/gtest.h>

#include <string>

#include "arch_text.h"
#include "frame/module.h"
#include "frame/module_state.h"
#include "message_box_watcher.h"
#include "platform/text.h"
#include "test_hosts.h"

namespace tavren {
namespace {

// The probe built beside the tests; Wine sees the Unix root as drive Z:.
std::u16string ProbePath() {
    std::string path = PROBE_PATH;
#if defined(_WIN32)
    if (!path.empty() && path[0] == '/') {
        path = "Z:" + path;
        for (char& c : path)
            if (c == '/') c = '\\';
    }
#endif
    return FromUtf8(path);
}

IHmxDecoderModule* CreateModule(IUnknown* host) {
    void* out = nullptr;
    EXPECT_EQ(CreateModuleInstance(&kIidHmxDecoderModule, &out, host), kHmxOk);
    return static_cast<IHmxDecoderModule*>(out);
}

TEST(ModuleLifetime, TheLastModuleStopsTheInstrumentHost) {
    MessageBoxWatcher boxes;
    auto* config = new testing::CountingConfig();
    config->values[test::ForThisBuild(u"VSTiPath_x86")] = ProbePath();
    testing::TestHost host(true, config);
    IHmxDecoderModule* first = CreateModule(&host);
    IHmxDecoderModule* second = CreateModule(&host);

    // "Info" loads the instrument and leaves its host running.
    EXPECT_EQ(first->ApplyConfig(u"General", u"Info", 0, 0, 0, 0, u""), 0);
    ASSERT_TRUE(boxes.WaitForCount(1, 10000));
    EXPECT_EQ(boxes.Boxes()[0].caption, u"VSTi Information");
    VstiHost* loaded = CurrentHost;
    ASSERT_NE(loaded, nullptr);

    first->Release();
    EXPECT_EQ(CurrentHost, loaded) << "another module still lives";
    second->Release();
    EXPECT_EQ(CurrentHost, nullptr);
    EXPECT_EQ(ModuleCount.load(), 0);
    config->Release();
}

}  // namespace
}  // namespace tavren
