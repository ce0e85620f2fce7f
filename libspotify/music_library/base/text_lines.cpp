// Bounded line splitting; see text_lines.h.
#include "base/text_lines.h"

#include <cstring>
#include <vector>

namespace music {

void append_utf8(std::string &out, unsigned c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | c >> 6));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | c >> 12));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | c >> 18));
        out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

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

std::string one_log_line(const std::string &text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (c1) {
            const auto code = static_cast<unsigned char>(text[++i]);
            out += "\\u00";
            out.push_back(kHex[code >> 4]);
            out.push_back(kHex[code & 15]);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

namespace {

// Collects the bytes of one line at a time and hands each finished line on.
// A file that starts with a UTF-16 byte-order mark (either order) is
// converted to UTF-8 as it arrives; a surrogate without its partner, or a
// last odd byte, becomes a byte that is not UTF-8 so that its line is
// refused like any line that is not text.
class LineSplitter {
public:
    explicit LineSplitter(const std::function<void(const TextLine &)> &sink) : sink_(sink) {}

    void feed(const char *data, size_t size) {
        if (encoding_ == Encoding::Unknown) {
            while (size > 0 && start_.size() < 2) {
                start_.push_back(*data++);
                --size;
            }
            if (start_.size() < 2)
                return;
            encoding_ = start_ == "\xFF\xFE"   ? Encoding::Utf16Le
                        : start_ == "\xFE\xFF" ? Encoding::Utf16Be
                                               : Encoding::Bytes;
            if (encoding_ == Encoding::Bytes)
                split(start_.data(), start_.size());
        }
        if (encoding_ == Encoding::Bytes)
            split(data, size);
        else
            decode_utf16(data, size);
    }

    // The last line, if the text does not end with a line end.
    void end() {
        if (encoding_ == Encoding::Unknown) // a file of one byte
            split(start_.data(), start_.size());
        if (odd_byte_ >= 0 || high_ != 0) {
            utf8_.assign(1, kNotUtf8);
            split(utf8_.data(), utf8_.size());
        }
        if (!line_.text.empty() || overlong_)
            finish();
    }

private:
    enum class Encoding : unsigned char { Unknown, Bytes, Utf16Le, Utf16Be };
    static constexpr char kNotUtf8 = '\xFF';

    void decode_utf16(const char *data, size_t size) {
        utf8_.clear();
        for (size_t i = 0; i < size; ++i) {
            const auto byte = static_cast<unsigned char>(data[i]);
            if (odd_byte_ < 0) {
                odd_byte_ = byte;
                continue;
            }
            const unsigned first = static_cast<unsigned>(odd_byte_);
            odd_byte_ = -1;
            unit(encoding_ == Encoding::Utf16Le ? byte << 8 | first : first << 8 | byte);
        }
        split(utf8_.data(), utf8_.size());
    }

    void unit(unsigned u) {
        if (high_ != 0) {
            const unsigned high = high_;
            high_ = 0;
            if (u >= 0xDC00 && u <= 0xDFFF) {
                append_utf8(utf8_, 0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00));
                return;
            }
            utf8_.push_back(kNotUtf8); // a high surrogate alone
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            high_ = u;
        else if (u >= 0xDC00 && u <= 0xDFFF)
            utf8_.push_back(kNotUtf8); // a low surrogate alone
        else
            append_utf8(utf8_, u);
    }

    void split(const char *data, size_t size) {
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
                line_.problem =
                    std::string(encoding_ == Encoding::Bytes ? "invalid UTF-8" : "invalid UTF-16") +
                    " at column " + std::to_string(bad + 1);
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
    Encoding encoding_ = Encoding::Unknown;
    std::string start_; // the first bytes, until the encoding is known
    std::string utf8_;  // UTF-16 converted, one feed at a time
    int odd_byte_ = -1; // UTF-16: the first byte of a unit split between feeds
    unsigned high_ = 0; // UTF-16: a high surrogate waiting for its partner
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

} // namespace music
