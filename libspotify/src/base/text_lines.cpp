// Bounded line splitting; see text_lines.h.
#include "base/text_lines.h"

#include <cstring>
#include <vector>

namespace splocal {

size_t utf8_invalid_at(const std::string &text) {
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        unsigned low = 0x80; // bounds of the second byte
        unsigned high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0)
                low = 0xA0; // overlong
            else if (c == 0xED)
                high = 0x9F; // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0)
                low = 0x90; // overlong
            else if (c == 0xF4)
                high = 0x8F; // above U+10FFFF
        } else {
            return i;
        }
        if (i + length > n || s[i + 1] < low || s[i + 1] > high)
            return i;
        for (size_t k = 2; k < length; ++k) {
            if (s[i + k] < 0x80 || s[i + k] > 0xBF)
                return i;
        }
        i += length;
    }
    return std::string::npos;
}

namespace {

// Collects the bytes of one line at a time and hands each finished line on.
class LineSplitter {
public:
    explicit LineSplitter(const std::function<void(const TextLine &)> &sink) : sink_(sink) {}

    void feed(const char *data, size_t size) {
        size_t i = 0;
        while (i < size) {
            const char c = data[i];
            if (c == '\r' || c == '\n') {
                const bool second_half = after_cr_ && c == '\n'; // of CR-LF
                after_cr_ = c == '\r';
                ++i;
                if (!second_half)
                    finish();
                continue;
            }
            after_cr_ = false;
            // The run of bytes up to the next line end, stored up to the cap.
            size_t end = i;
            while (end < size && data[end] != '\r' && data[end] != '\n')
                ++end;
            const size_t room = kMaxLineBytes - line_.text.size();
            const size_t take = end - i < room ? end - i : room;
            line_.text.append(data + i, take);
            if (take < end - i)
                overlong_ = true;
            i = end;
        }
    }

    // The last line, if the text does not end with a line end.
    void end() {
        if (!line_.text.empty() || overlong_)
            finish();
    }

private:
    void finish() {
        ++number_;
        line_.number = number_;
        if (number_ == 1 && line_.text.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line_.text.erase(0, 3);
        line_.problem.clear();
        if (overlong_) {
            line_.problem = "line longer than " + std::to_string(kMaxLineBytes) + " bytes";
        } else if (const void *nul = std::memchr(line_.text.data(), 0, line_.text.size())) {
            const auto at = static_cast<const char *>(nul) - line_.text.data();
            line_.problem = "NUL byte at column " + std::to_string(at + 1);
        } else {
            const size_t bad = utf8_invalid_at(line_.text);
            if (bad != std::string::npos)
                line_.problem = "invalid UTF-8 at column " + std::to_string(bad + 1);
        }
        sink_(line_);
        line_.text.clear();
        overlong_ = false;
    }

    const std::function<void(const TextLine &)> &sink_;
    TextLine line_;
    int number_ = 0;
    bool after_cr_ = false;
    bool overlong_ = false;
};

} // namespace

bool read_text_lines(std::FILE *file, const std::function<void(const TextLine &)> &line) {
    LineSplitter splitter(line);
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
        splitter.feed(buffer.data(), got);
        if (got < buffer.size())
            break;
    }
    splitter.end();
    return std::ferror(file) == 0;
}

void split_text_lines(const std::string &text, const std::function<void(const TextLine &)> &line) {
    LineSplitter splitter(line);
    splitter.feed(text.data(), text.size());
    splitter.end();
}

} // namespace splocal
