// Text between the 8-bit dialog and the streaming library. The library speaks
// UTF-8; the dialog's controls were made by "A" calls and would hand out and
// take text in the system code page. These helpers go through the wide form
// so that neither side ever sees the other's encoding.
#pragma once

#include <windows.h>

#include <cstddef>

// The 100-character buffers the dialog reads its fields into: at most 99
// characters and a terminating zero.
constexpr int kFieldChars = 100;
// A field of 99 UTF-16 units takes at most 3 bytes per unit in UTF-8 (a
// surrogate pair, two units, takes 4), plus the terminating zero.
constexpr int kFieldUtf8Bytes = (kFieldChars - 1) * 3 + 1;

// Reads control id of dialog as UTF-8 into out (kFieldUtf8Bytes bytes): the
// first 99 UTF-16 units of its text, without a high surrogate left alone at
// the cut. Returns the length in bytes. The wide copy on the way is wiped.
int read_field_utf8(HWND dialog, int id, char (&out)[kFieldUtf8Bytes]);

// Converts zero-terminated UTF-8 to a wide string allocated with new[] (the
// caller deletes it); null only when memory runs out. Invalid sequences
// become U+FFFD.
wchar_t *utf8_to_wide(const char *text);
