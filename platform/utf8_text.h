// Text between the streaming library's UTF-8 and the wide strings (UTF-16
// code units) of Windows controls and DirectWrite: the title line and the
// dialog's fields and playlist list all go through these two.
#pragma once

#include <cstddef>
#include <string>

// The UTF-16 form of zero-terminated text; empty for null. Text that is not
// UTF-8 as a whole (truncated or overlong sequences, surrogates, values beyond
// U+10FFFF, stray continuation bytes) is taken one character per byte, as
// Latin-1, so that no byte is lost or hidden.
std::wstring widen_utf8(const char *text);

// Writes the UTF-8 form of the first units UTF-16 units of text into out
// (capacity bytes, at least 1), zero-terminated; returns its length. A
// surrogate without its partner becomes U+FFFD. A character that would not fit
// whole is left out with all after it, and so is a high surrogate in the last
// unit: the first half of a character that the caller's limit cut.
size_t narrow_to_utf8(const wchar_t *text, size_t units, char *out, size_t capacity);
