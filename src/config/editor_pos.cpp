#include "config/editor_pos.h"

#include "config/settings.h"
#include "frame/null_config.h"

namespace tavren {

void ClampEditorPos(int32_t* x, int32_t* y, int32_t screenWidth, int32_t screenHeight) {
    // The order matters on a screen narrower than 100 pixels: x ends at
    // W - 100, y at 0.
    if (*x < 0) *x = 0;
    if (*x > screenWidth - 100) *x = screenWidth - 100;
    if (*y > screenHeight - 100) *y = screenHeight - 100;
    if (*y < 0) *y = 0;
}

void ReadEditorPos(IHmxConfig* config, int32_t* x, int32_t* y) {
    uint64_t packed = static_cast<uint64_t>(StoreGetInt(config, kKeyEditorPos, 0));
    *x = static_cast<int32_t>(static_cast<uint32_t>(packed));
    *y = static_cast<int32_t>(static_cast<uint32_t>(packed >> 32));
    int32_t width = 0;
    int32_t height = 0;
    ScreenSize(&width, &height);
    ClampEditorPos(x, y, width, height);
}

void SaveEditorPos(IHmxConfig* config, int32_t x, int32_t y) {
    uint64_t packed = (static_cast<uint64_t>(static_cast<uint32_t>(y)) << 32) | static_cast<uint32_t>(x);
    StoreSetInt(config, kKeyEditorPos, static_cast<int64_t>(packed));
}

}  // namespace tavren
