// Where the instrument's editor windows open, kept in "EditorPos" as one
// 64-bit integer: left edge in the low 32 bits, top edge in the high 32.
//   ReadEditorPos    reads it (null config: (0, 0) without a call) and pulls
//                    it back so that 100 pixels of the primary screen remain
//   SaveEditorPos    writes it (nothing through the null config)
//   ClampEditorPos   the pulling back, for a given screen size
//   ScreenSize       the primary screen's size in pixels
#pragma once

#include <cstdint>

namespace tavren {

struct IHmxConfig;

void ReadEditorPos(IHmxConfig* config, int32_t* x, int32_t* y);
void SaveEditorPos(IHmxConfig* config, int32_t x, int32_t y);
void ClampEditorPos(int32_t* x, int32_t* y, int32_t screenWidth, int32_t screenHeight);

// Windows: GetSystemMetrics SM_CXSCREEN / SM_CYSCREEN. Native: a fixed
// 1920 x 1080, as there is no screen to ask.
void ScreenSize(int32_t* width, int32_t* height);

}  // namespace tavren
