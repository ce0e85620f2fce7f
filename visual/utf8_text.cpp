#include "visual/utf8_text.h"

#include <cstdint>
#include <cstring>

namespace {

bool is_high_surrogate(uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low_surrogate(uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Appends the UTF-16 form of the UTF-8 text; false (with out partly
// written) at the first invalid sequence.
bool decode_utf8(const unsigned char *p, std::wstring &out) {
    while (*p != 0) {
        const unsigned lead = *p;
        uint32_t cp = 0;
        int extra = 0;
        uint32_t min = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            cp = lead & 0x1F;
            extra = 1;
            min = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            cp = lead & 0x0F;
            extra = 2;
            min = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            cp = lead & 0x07;
            extra = 3;
            min = 0x10000;
        } else {
            return false;
        }
        ++p;
        for (int i = 0; i < extra; ++i, ++p) {
            if ((*p & 0xC0) != 0x80) {
                return false; // also stops at the terminating zero
            }
            cp = (cp << 6) | (*p & 0x3Fu);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
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

// The UTF-8 bytes of one code point; returns their count.
size_t encode_utf8(uint32_t cp, char (&bytes)[4]) {
    if (cp < 0x80) {
        bytes[0] = static_cast<char>(cp);
        return 1;
    }
    const size_t count = cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    for (size_t i = count - 1; i > 0; --i, cp >>= 6) {
        bytes[i] = static_cast<char>(0x80 | (cp & 0x3F));
    }
    static const unsigned char lead_marks[5] = {0, 0, 0xC0, 0xE0, 0xF0};
    bytes[0] = static_cast<char>(lead_marks[count] | cp);
    return count;
}

} // namespace

std::wstring widen_utf8(const char *text) {
    std::wstring out;
    if (text == nullptr) {
        return out;
    }
    const auto *bytes = reinterpret_cast<const unsigned char *>(text);
    if (!decode_utf8(bytes, out)) {
        out.clear();
        for (const unsigned char *p = bytes; *p != 0; ++p) {
            out.push_back(static_cast<wchar_t>(*p));
        }
    }
    return out;
}

size_t narrow_to_utf8(const wchar_t *text, size_t units, char *out, size_t capacity) {
    size_t length = 0;
    for (size_t i = 0; i < units; ++i) {
        uint32_t cp = static_cast<uint32_t>(text[i]);
        if (is_high_surrogate(cp)) {
            if (i + 1 == units) {
                break;
            }
            const uint32_t low = static_cast<uint32_t>(text[i + 1]);
            if (is_low_surrogate(low)) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                cp = 0xFFFD;
            }
        } else if (is_low_surrogate(cp) || cp > 0xFFFF) {
            cp = 0xFFFD; // beyond 0xFFFF only where wchar_t is wider than a unit
        }
        char bytes[4];
        const size_t count = encode_utf8(cp, bytes);
        if (length + count >= capacity) {
            break;
        }
        std::memcpy(out + length, bytes, count);
        length += count;
    }
    out[length] = '\0';
    return length;
}
