// Splitting a text file into lines, bounded: CR, LF and CR-LF all end a
// line, a byte-order mark at the very start is skipped, a line longer than
// the cap is reported and its bytes are dropped as they arrive (never
// stored), and each line is checked for NUL bytes and for valid UTF-8
// before anyone reads it. A file that starts with a UTF-16 byte-order mark
// (as Notepad and some players write) is read as UTF-16 and handed on as
// UTF-8. Used for the catalogue and for playlist files.
#ifndef MUSIC_LIBRARY_BASE_TEXT_LINES_H
#define MUSIC_LIBRARY_BASE_TEXT_LINES_H

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

namespace music {

// Longest line accepted, in bytes (without its line end).
constexpr size_t kMaxLineBytes = 4096;

// One line as read. `problem` is empty for a good line; otherwise it says
// what is wrong and `text` must not be used.
struct TextLine {
    int number = 0; // 1-based
    std::string text;
    std::string problem;
};

// The offset of the first byte that is not part of valid UTF-8 (overlong
// forms, surrogates and code points above U+10FFFF are invalid), or
// std::string::npos when the whole text is valid.
size_t utf8_invalid_at(const std::string &text);

// Appends the code point (at most U+10FFFF, not a surrogate) to `out` as UTF-8.
void append_utf8(std::string &out, unsigned code_point);

// `text` as one line of a log: control characters (C0, DEL and C1; a file
// name may hold any of them) are written visibly as \n, \r, \t, \xHH or
// \u00HH, so that nothing a name holds can break the line in two.
std::string one_log_line(const std::string &text);

// Reads the file line by line and calls `line` for each. Returns false when
// reading failed (an I/O error part way); the lines read until then were
// given.
bool read_text_lines(std::FILE *file, const std::function<void(const TextLine &)> &line);

// The same over text held in memory.
void split_text_lines(const std::string &text, const std::function<void(const TextLine &)> &line);

} // namespace music

#endif
