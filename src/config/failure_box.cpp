#include "config/failure_box.h"

#include "config/arch.h"
#include "config/format_key.h"
#include "config/message_box_thread.h"
#include "platform/platform.h"

namespace tavren {

namespace {

constexpr uint32_t kStyle = 0x41000;  // MB_OK | MB_SYSTEMMODAL | MB_TOPMOST

const char16_t kCrashedText[] =
    u"VSTi プラグインが異常終了したため、演奏を停止しました。(コード 0x%08x)\r\n\r\nVSTiPath=%s";
const char16_t kStoppedText[] =
    u"VSTi プラグインが応答しなくなったため、演奏を停止しました。\r\n\r\nVSTiPath=%s";

}  // namespace

void ShowInstrumentFailure(const char16_t* path, InstrumentFailure what, uint32_t code) {
    char16_t text[1024];
    if (what == InstrumentFailure::Crashed)
        FormatKey(text, 1024, kCrashedText, code, path);
    else
        FormatKey(text, 1024, kStoppedText, path);
    MessageBoxRequest request{text, TAVREN_PLUGIN_FILE, kStyle};
    if (!platform::RunOnNewThreadAndWait(MessageBoxThreadProc, &request)) MessageBoxThreadProc(&request);
}

}  // namespace tavren
