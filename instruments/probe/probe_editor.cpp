// The probe's editor calls (see probe_editor.h); windows are the platform file's.
#include "probe_editor.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "vsthost/vst2.h"

namespace probe {

struct Editor {
    vst2::ERect rect;
    bool noRect;
    void* child;
    int idles;
};

namespace {

// "WxH" with both parts positive and within the 16-bit rectangle, else false.
bool ParseSize(const std::string& text, int* width, int* height) {
    char* end = nullptr;
    long w = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || (*end != 'x' && *end != 'X')) return false;
    const char* rest = end + 1;
    long h = std::strtol(rest, &end, 10);
    if (end == rest || *end != 0 || w <= 0 || h <= 0 || w > 32767 || h > 32767) return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

void Append(std::string& line, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& line, const char* format, ...) {
    char buffer[96];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    line += buffer;
}

}  // namespace

Editor* NewEditor(const std::string& sizeText, bool noRect, bool absurdRect) {
    int width = 320, height = 200;
    ParseSize(sizeText, &width, &height);
    // Not at the origin, so a host that ignores left and top is caught.
    const int16_t left = 7, top = 3;
    auto* editor = new Editor{{top, left, static_cast<int16_t>(top + height), static_cast<int16_t>(left + width)},
                              noRect, nullptr, 0};
    if (absurdRect) editor->rect = {32767, 32767, -32768, -32768};
    return editor;
}

void DeleteEditor(Editor* editor) {
    if (!editor) return;
    if (editor->child) CloseChildWindow(editor->child);
    delete editor;
}

intptr_t EditorCall(Editor* editor, int32_t opcode, void* ptr, std::string& line) {
    const vst2::ERect& rect = editor->rect;
    switch (opcode) {
        case vst2::effEditGetRect:
            if (editor->noRect) {
                line += " rect=none";
                return 0;
            }
            *static_cast<vst2::ERect**>(ptr) = &editor->rect;
            Append(line, " rect=%dx%d", rect.right - rect.left, rect.bottom - rect.top);
            return 1;
        case vst2::effEditOpen:
            if (editor->child) CloseChildWindow(editor->child);  // opened twice: the old one goes
            editor->child = OpenChildWindow(ptr, rect.right > rect.left ? rect.right - rect.left : 0,
                                            rect.bottom > rect.top ? rect.bottom - rect.top : 0);
            Append(line, " parent=%" PRIxPTR " child=%" PRIxPTR, reinterpret_cast<uintptr_t>(ptr),
                   reinterpret_cast<uintptr_t>(editor->child));
            return 1;
        case vst2::effEditIdle:
            Append(line, " idles=%d", ++editor->idles);
            return 0;
        case vst2::effEditClose:
            if (editor->child) CloseChildWindow(editor->child);
            editor->child = nullptr;
            Append(line, " idles=%d", editor->idles);
            return 0;
        default:
            return 0;
    }
}

}  // namespace probe
