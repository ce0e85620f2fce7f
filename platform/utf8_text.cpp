#include "platform/utf8_text.h"

#include <cstdint>
#include <cstring>

namespace {

bool is_surrogate(uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

// Appends the UTF-16 form of the UTF-8 text; false (with out partly
// written) at the first invalid sequence.
bool decode_utf8(const unsigned char *p, std::wstring &out) {
    static const uint32_t least[4] = {0, 0x80, 0x800, 0x10000}; // by continuation bytes
    while (*p != 0) {
        const unsigned lead = *p++;
        const int extra = lead < 0x80                    ? 0
                          : lead >= 0xC2 && lead <= 0xDF ? 1
                          : lead >= 0xE0 && lead <= 0xEF ? 2
                          : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                         : -1;
        if (extra < 0)
            return false;
        uint32_t cp = extra == 0 ? lead : lead & (0x3Fu >> extra);
        for (int i = 0; i < extra; ++i, ++p) {
            if ((*p & 0xC0) != 0x80)
                return false; // also stops at the terminating zero
            cp = (cp << 6) | (*p & 0x3Fu);
        }
        if (cp < least[extra] || cp > 0x10FFFF || is_surrogate(cp))
            return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
    }
    return true;
}

} // namespace

std::wstring widen_utf8(const char *text) {
    std::wstring out;
    const char *chars = text ? text : "";
    const auto *bytes = reinterpret_cast<const unsigned char *>(chars);
    if (!decode_utf8(bytes, out))
        out.assign(bytes, bytes + std::strlen(chars));
    return out;
}

size_t narrow_to_utf8(const wchar_t *text, size_t units, char *out, size_t capacity) {
    static const unsigned char lead_marks[5] = {0, 0, 0xC0, 0xE0, 0xF0};
    size_t length = 0;
    for (size_t i = 0; i < units; ++i) {
        uint32_t cp = static_cast<uint32_t>(text[i]);
        const bool high = cp >= 0xD800 && cp <= 0xDBFF;
        if (high && i + 1 == units)
            break; // the first half of a character that the caller's limit cut
        const uint32_t low = high ? static_cast<uint32_t>(text[i + 1]) : 0;
        if (low >= 0xDC00 && low <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (is_surrogate(cp) || cp > 0xFFFF) { // beyond: where wchar_t is wider
            cp = 0xFFFD;
        }
        const size_t count = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        if (length + count >= capacity)
            break; // no character is cut
        for (size_t k = count - 1; k > 0; --k, cp >>= 6)
            out[length + k] = static_cast<char>(0x80 | (cp & 0x3F));
        out[length] = static_cast<char>(lead_marks[count] | cp);
        length += count;
    }
    out[length] = '\0';
    return length;
}
