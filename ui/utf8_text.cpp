#include "ui/utf8_text.h"

#include <new>

int read_field_utf8(HWND dialog, int id, char (&out)[kFieldUtf8Bytes]) {
    wchar_t wide[kFieldChars];
    int units = static_cast<int>(GetDlgItemTextW(dialog, id, wide, kFieldChars));
    // A cut between the halves of a surrogate pair leaves half a character.
    if (units > 0 && wide[units - 1] >= 0xD800 && wide[units - 1] <= 0xDBFF) {
        --units;
    }
    int bytes = 0;
    if (units > 0) {
        bytes = WideCharToMultiByte(CP_UTF8, 0, wide, units, out, kFieldUtf8Bytes - 1, nullptr,
                                    nullptr);
    }
    out[bytes > 0 ? bytes : 0] = '\0';
    SecureZeroMemory(wide, sizeof wide);
    return bytes > 0 ? bytes : 0;
}

wchar_t *utf8_to_wide(const char *text) {
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units <= 0) {
        units = 1;
    }
    wchar_t *wide = new (std::nothrow) wchar_t[static_cast<size_t>(units)];
    if (wide == nullptr) {
        return nullptr;
    }
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, units) <= 0) {
        wide[0] = L'\0';
    }
    return wide;
}
