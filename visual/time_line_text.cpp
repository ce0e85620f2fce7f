// The time line's text; see time_line_text.h.

#include "visual/time_line_text.h"

#include <cstdint>

namespace {

constexpr uint32_t kHourMs = 3600u * 1000u;

std::wstring two_digits(uint32_t value) {
    return std::wstring(value < 10 ? L"0" : L"") + std::to_wstring(value);
}

// Whole seconds, rounded down, as m:ss or h:mm:ss.
std::wstring clock(uint32_t ms, bool hours) {
    const uint32_t seconds = ms / 1000;
    if (hours) {
        return std::to_wstring(seconds / 3600) + L":" + two_digits(seconds / 60 % 60) + L":" +
               two_digits(seconds % 60);
    }
    return std::to_wstring(seconds / 60) + L":" + two_digits(seconds % 60);
}

void append(std::wstring &line, const std::wstring &item) {
    if (!line.empty())
        line += L"   ";
    line += item;
}

} // namespace

std::wstring time_line_text(const PlaybackStatus &status, bool show_volume) {
    std::wstring line;
    if (status.has_position) {
        const bool hours = status.length_ms >= kHourMs || status.position_ms >= kHourMs;
        line = clock(status.position_ms, hours);
        if (status.length_ms > 0)
            line += L" / " + clock(status.length_ms, hours);
    }
    if (status.paused)
        append(line, L"paused");
    if (status.shuffle)
        append(line, L"shuffle");
    if (status.repeat == RepeatMode::All)
        append(line, L"repeat");
    else if (status.repeat == RepeatMode::One)
        append(line, L"repeat one");
    if (show_volume)
        append(line, status.muted ? L"muted"
                                  : L"volume " + std::to_wstring(status.volume_percent) + L" %");
    return line;
}
