// The answers the instrument gets from the host callback.
#include <cstring>

#include "frame/module_state.h"
#include "platform/platform.h"
#include "probe_fixture.h"
#include "vsthost/host_callback.h"

namespace tavren::test {
namespace {

intptr_t Ask(vst2::AEffect* effect, int32_t opcode, void* ptr = nullptr) {
    return AudioMasterCallback(effect, opcode, 0, 0, ptr, 0.0f);
}

TEST(HostCallback, AnswersWithoutAnyInstance) {
    EXPECT_EQ(Ask(nullptr, vst2::audioMasterVersion), 2400);
    EXPECT_EQ(Ask(nullptr, vst2::audioMasterGetLanguage), 6);
    EXPECT_EQ(Ask(nullptr, vst2::audioMasterGetTime), 0);
    EXPECT_EQ(Ask(nullptr, vst2::audioMasterGetSampleRate), 0);
    EXPECT_EQ(Ask(nullptr, vst2::audioMasterGetBlockSize), 0);

    // An effect whose user field is still empty (asking inside its entry point).
    vst2::AEffect bare = {};
    EXPECT_EQ(Ask(&bare, vst2::audioMasterGetTime), 0);
    EXPECT_EQ(Ask(&bare, vst2::audioMasterGetSampleRate), 0);
    EXPECT_EQ(Ask(&bare, vst2::audioMasterGetBlockSize), 0);
    EXPECT_EQ(Ask(&bare, vst2::audioMasterVersion), 2400);
}

TEST(HostCallback, CopiesVendorAndProductWithTheirTerminatorOnly) {
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(Ask(nullptr, vst2::audioMasterGetVendorString, buffer), 0);
    EXPECT_EQ(std::memcmp(buffer, "YAMAHA\0#", 8), 0);
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(Ask(nullptr, vst2::audioMasterGetProductString, buffer), 0);
    EXPECT_EQ(std::memcmp(buffer, "Cubase VST\0#", 12), 0);
}

TEST(HostCallback, EveryOtherRequestGetsZero) {
    char canDo[] = "sendVstMidiEvent";
    for (int32_t opcode : {0, 2, 3, 6, 8, 13, 15, 23, 31, 34, 35, 36, 37, 39, 40, 100, -1, -100, 0x7FFFFFFF})
        EXPECT_EQ(Ask(nullptr, opcode, canDo), 0) << "opcode " << opcode;
    EXPECT_STREQ(canDo, "sendVstMidiEvent");
}

class HostCallbackTest : public ProbeTest {};

// The callback as the instrument calls it: on the host thread.
intptr_t AskOnHostThread(VstiInstance* instance, int32_t opcode) {
    struct Call {
        vst2::AEffect* effect;
        int32_t opcode;
        intptr_t answer;
    } call{instance->effect, opcode, 0};
    RunOnHostThread(instance->host, [](void* p) {
        auto* c = static_cast<Call*>(p);
        c->answer = AudioMasterCallback(c->effect, c->opcode, 0, 0, nullptr, 0.0f);
    }, &call);
    return call.answer;
}

TEST_F(HostCallbackTest, AnswersFromTheCallingEffectsInstance) {
    VstiInstance* instance = AcquireProbe();
    ASSERT_NE(instance, nullptr);
    ASSERT_TRUE(PrepareBuffers(instance, 48000));
    vst2::AEffect* effect = instance->effect;
    EXPECT_EQ(Ask(effect, vst2::audioMasterGetSampleRate), 48000);
    EXPECT_EQ(Ask(effect, vst2::audioMasterGetBlockSize), 1024);

    // Another thread than the host thread gets no time information.
    EXPECT_EQ(Ask(effect, vst2::audioMasterGetTime), 0);

    instance->timeInfo.samplePos = 4096.0;
    const double before = static_cast<double>(platform::TickCount()) * 1e6;
    auto* first = reinterpret_cast<vst2::VstTimeInfo*>(AskOnHostThread(instance, vst2::audioMasterGetTime));
    const double after = static_cast<double>(platform::TickCount()) * 1e6;
    ASSERT_EQ(first, &instance->timeInfo);
    EXPECT_GE(first->nanoSeconds, before);
    EXPECT_LE(first->nanoSeconds, after);
    EXPECT_EQ(first->samplePos, 4096.0);
    EXPECT_EQ(first->flags, 0x2600);
    EXPECT_EQ(first->sampleRate, 0.0);

    first->nanoSeconds = -1.0;
    auto* second = reinterpret_cast<vst2::VstTimeInfo*>(AskOnHostThread(instance, vst2::audioMasterGetTime));
    EXPECT_EQ(second, first);
    EXPECT_GE(second->nanoSeconds, before);  // refreshed
    DestroyInstance(instance);
}

TEST_F(HostCallbackTest, AnInstrumentAskingBeforeAndAfterItIsAcceptedIsAnsweredOnTheHostThread) {
    ProbeLog log;
    SetEnv("PROBE_ASK_IN_ENTRY", "n1,1,7,16,17,32,33,38,37");
    SetEnv("PROBE_ASK_ON_OPEN", "7,17");
    SetEnv("PROBE_ASK_IN_PROCESS", "7,16,17");
    VstiInstance* instance = AcquireProbe();
    ASSERT_NE(instance, nullptr);
    ASSERT_TRUE(PrepareBuffers(instance, 44100));
    instance->timeInfo.samplePos = 512.0;
    ProcessOnHost(instance, 16);
    const uint32_t hostThread = CurrentHost->threadId;
    const intptr_t timeAddress = reinterpret_cast<intptr_t>(&instance->timeInfo);
    DestroyInstance(instance);

    std::vector<std::string> answers = log.Matching({"callback "});
    ASSERT_EQ(answers.size(), 9u + 2 + 3);
    const char* expected[] = {
        "op=1 effect=null answer=2400",
        "op=1 effect=self answer=2400",
        "op=7 effect=self answer=0",  // no instance yet
        "op=16 effect=self answer=0",
        "op=17 effect=self answer=0",
        "op=32 effect=self answer=0 text=\"YAMAHA\"",
        "op=33 effect=self answer=0 text=\"Cubase VST\"",
        "op=38 effect=self answer=6",
        "op=37 effect=self answer=0",
        "op=7 effect=self answer=0",  // effOpen: accepted, but the instance comes after it
        "op=17 effect=self answer=0",
    };
    for (size_t i = 0; i < std::size(expected); ++i)
        EXPECT_NE(answers[i].find(expected[i]), std::string::npos) << answers[i];
    EXPECT_EQ(LineValue(answers[11], "answer="), static_cast<long long>(timeAddress));
    EXPECT_NE(answers[11].find("samplePos=512 "), std::string::npos) << answers[11];
    EXPECT_NE(answers[12].find("op=16 effect=self answer=44100"), std::string::npos) << answers[12];
    EXPECT_NE(answers[13].find("op=17 effect=self answer=1024"), std::string::npos) << answers[13];
    for (const std::string& line : answers) EXPECT_EQ(LineThread(line), hostThread) << line;
}

}  // namespace
}  // namespace tavren::test
