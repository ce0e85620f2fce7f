#include "visual/title_text.h"

#include "session/session_state.h"

#include <libspotify/api.h>

#include <cstdint>
#include <optional>

namespace {

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

// Holds a mutex for one scope.
class MutexHold {
public:
    explicit MutexHold(HANDLE mutex) : mutex_(mutex) { WaitForSingleObject(mutex_, INFINITE); }
    ~MutexHold() { ReleaseMutex(mutex_); }
    MutexHold(const MutexHold &) = delete;
    MutexHold &operator=(const MutexHold &) = delete;

private:
    HANDLE mutex_;
};

// A copy of what read() returns for the current track, taken under the
// session lock; nothing when there is no track or no text.
template <class Read> std::optional<std::string> copy_under_lock(SessionState *state, Read read) {
    std::optional<std::string> copy;
    const MutexHold hold(state->lock);
    if (state->current_track != nullptr) {
        const char *text = read(state->current_track);
        if (text != nullptr) {
            copy.emplace(text);
        }
    }
    return copy;
}

} // namespace

std::wstring widen_utf8(const char *text) {
    std::wstring out;
    const auto *bytes = reinterpret_cast<const unsigned char *>(text);
    if (!decode_utf8(bytes, out)) {
        out.clear();
        for (const unsigned char *p = bytes; *p != 0; ++p) {
            out.push_back(static_cast<wchar_t>(*p));
        }
    }
    return out;
}

std::wstring title_text(SessionState *session_state) {
    if (session_state == nullptr) {
        return std::wstring();
    }
    const std::optional<std::string> artist = copy_under_lock(session_state, [](sp_track *track) {
        sp_artist *first = sp_track_artist(track, 0);
        return first != nullptr ? sp_artist_name(first) : nullptr;
    });
    const std::optional<std::string> name =
        copy_under_lock(session_state, [](sp_track *track) { return sp_track_name(track); });
    if (!artist || !name) {
        return std::wstring();
    }
    return widen_utf8(artist->c_str()) + L" - " + widen_utf8(name->c_str());
}
