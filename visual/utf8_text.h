// Text between the streaming library's UTF-8 and the wide strings (UTF-16
// code units) that Windows controls and DirectWrite take: the title line,
// the dialog's fields and its playlist list all go through these two.
//
// Bytes that are not UTF-8 as a whole (truncated or overlong sequences,
// surrogates, values beyond U+10FFFF, stray continuation bytes) are taken
// one character per byte, as Latin-1, so that no byte is lost or hidden.
// Wide text is always valid UTF-16 on the way out: a surrogate without its
// partner becomes U+FFFD.
#pragma once

#include <cstddef>
#include <string>

// The UTF-16 form of zero-terminated text (characters beyond U+FFFF become
// surrogate pairs); empty for null.
std::wstring widen_utf8(const char *text);

// Writes the UTF-8 form of the first units UTF-16 units of text into out
// (capacity bytes, at least 1), zero-terminated, and returns its length in
// bytes. A character that would not fit whole is left out with everything
// after it, and so is a high surrogate in the last unit: it is the first half
// of a character that the caller's limit cut.
size_t narrow_to_utf8(const wchar_t *text, size_t units, char *out, size_t capacity);
