#include "config/format_key.h"

namespace tavren {

namespace {

// Writes into the caller's buffer and remembers whether anything was cut.
class Output {
public:
    Output(char16_t* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}

    void Put(char16_t c) {
        if (length_ + 1 < capacity_) {
            buffer_[length_++] = c;
        } else {
            cut_ = true;
        }
    }
    void Repeat(char16_t c, int count) {
        for (int i = 0; i < count; ++i) Put(c);
    }
    int Finish() {
        if (capacity_ == 0) return -1;
        buffer_[length_] = 0;
        return cut_ ? -1 : static_cast<int>(length_);
    }

private:
    char16_t* buffer_;
    size_t capacity_;
    size_t length_ = 0;
    bool cut_ = false;
};

struct Spec {
    bool left = false;
    bool zero = false;
    int width = 0;
    bool wide64 = false;  // "ll"
    char16_t conversion = 0;
};

// Writes text of the given length padded to the spec's width.
void PutPadded(Output& out, const Spec& spec, const char16_t* text, int length, bool sign) {
    int pad = spec.width > length ? spec.width - length : 0;
    if (spec.left) {
        for (int i = 0; i < length; ++i) out.Put(text[i]);
        out.Repeat(u' ', pad);
    } else if (spec.zero) {
        // Zeros go between the sign and the digits.
        int start = 0;
        if (sign) out.Put(text[start++]);
        out.Repeat(u'0', pad);
        for (int i = start; i < length; ++i) out.Put(text[i]);
    } else {
        out.Repeat(u' ', pad);
        for (int i = 0; i < length; ++i) out.Put(text[i]);
    }
}

void PutInteger(Output& out, const Spec& spec, uint64_t bits) {
    char16_t digits[24];
    int length = 0;
    bool negative = false;
    uint64_t magnitude = 0;
    unsigned base = 10;
    const char* alphabet = "0123456789abcdef";
    switch (spec.conversion) {
        case u'd':
        case u'i': {
            int64_t value = spec.wide64 ? static_cast<int64_t>(bits) : static_cast<int32_t>(static_cast<uint32_t>(bits));
            negative = value < 0;
            magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
            break;
        }
        case u'X':
            alphabet = "0123456789ABCDEF";
            [[fallthrough]];
        case u'x':
            base = 16;
            [[fallthrough]];
        default:  // 'u'
            magnitude = spec.wide64 ? bits : static_cast<uint32_t>(bits);
            break;
    }
    char16_t reversed[24];
    int count = 0;
    do {
        reversed[count++] = static_cast<char16_t>(alphabet[magnitude % base]);
        magnitude /= base;
    } while (magnitude);
    if (negative) digits[length++] = u'-';
    while (count) digits[length++] = reversed[--count];
    PutPadded(out, spec, digits, length, negative);
}

// Parses the directive after '%' at format[i]; leaves i after it.
Spec ParseSpec(const char16_t* format, size_t& i) {
    Spec spec;
    for (;; ++i) {
        if (format[i] == u'-') {
            spec.left = true;
        } else if (format[i] == u'0') {
            spec.zero = true;
        } else {
            break;
        }
    }
    while (format[i] >= u'0' && format[i] <= u'9') {
        if (spec.width < 10000) spec.width = spec.width * 10 + (format[i] - u'0');
        ++i;
    }
    if (format[i] == u'h') {
        ++i;
    } else if (format[i] == u'l') {
        ++i;
        if (format[i] == u'l') {
            spec.wide64 = true;
            ++i;
        }
    }
    spec.conversion = format[i];
    if (format[i]) ++i;
    return spec;
}

}  // namespace

int FormatKeyArgs(char16_t* buffer, size_t capacity, const char16_t* format, const FormatArg* args,
                  size_t argCount) {
    Output out(buffer, capacity);
    size_t next = 0;
    for (size_t i = 0; format && format[i];) {
        if (format[i] != u'%') {
            out.Put(format[i++]);
            continue;
        }
        size_t start = i++;
        Spec spec = ParseSpec(format, i);
        if (spec.conversion == u'%') {
            out.Put(u'%');
            continue;
        }
        const FormatArg* arg = next < argCount ? &args[next] : nullptr;
        switch (spec.conversion) {
            case u'd':
            case u'i':
            case u'u':
            case u'x':
            case u'X':
                ++next;
                if (arg && arg->kind != FormatArg::Text) PutInteger(out, spec, arg->bits);
                break;
            case u'c':
                ++next;
                if (arg && arg->kind != FormatArg::Text) {
                    char16_t c = static_cast<char16_t>(arg->bits);
                    PutPadded(out, spec, &c, 1, false);
                }
                break;
            case u's':
                ++next;
                if (arg && arg->kind == FormatArg::Text) {
                    int length = 0;
                    if (arg->text)
                        while (arg->text[length]) ++length;
                    PutPadded(out, Spec{spec.left, false, spec.width, false, u's'}, arg->text, length, false);
                }
                break;
            default:
                // Unknown directive: shown as written, so that a mistake is visible.
                for (size_t k = start; k < i; ++k) out.Put(format[k]);
                break;
        }
    }
    return out.Finish();
}

}  // namespace tavren
