// Playing a track through the player with a seek at a chosen moment: before
// play, while the program refuses what is offered, or after some frames.
#pragma once

#include "libspotify/library_harness.h"

namespace lib_test {

template <class Base> class SeekingTest : public Base {
protected:
    // Plays `track`: `taken` frames, then the program refuses until `seek`
    // has run (before play when `taken` is negative), then takes the rest to
    // the end. Returns what was delivered.
    std::vector<int16_t> play_seeking(sp_track *track, int taken,
                                      const std::function<void()> &seek) {
        Recorder &r = this->rec;
        const int ends = r.end_of_track.load();
        {
            std::lock_guard<std::mutex> lock(r.mutex);
            r.delivered.clear();
            r.offers.clear();
            r.accept = [&r, taken](int offered) {
                return std::clamp(taken - static_cast<int>(r.delivered.size() / 2), 0, offered);
            };
        }
        EXPECT_EQ(sp_session_player_load(this->session, track), SP_ERROR_OK);
        if (taken < 0)
            seek();
        sp_session_player_play(this->session, 1);
        if (taken >= 0) {
            EXPECT_TRUE(this->wait_until([&] { // offered, and refused, from frame `taken`
                std::lock_guard<std::mutex> lock(r.mutex);
                return !r.offers.empty() && r.offers.back().first >= taken;
            }));
            seek();
        }
        {
            std::lock_guard<std::mutex> lock(r.mutex);
            r.accept = nullptr;
        }
        EXPECT_TRUE(this->wait_until([&] { return r.end_of_track.load() == ends + 1; }));
        std::lock_guard<std::mutex> lock(r.mutex);
        return r.delivered;
    }
    // The frames of `whole` from `first` on, after the first `kept`.
    static std::vector<int16_t> spliced(const std::vector<int16_t> &whole, int kept,
                                        int64_t first) {
        std::vector<int16_t> out(whole.begin(), whole.begin() + 2 * std::max(kept, 0));
        if (2 * first < static_cast<int64_t>(whole.size()))
            out.insert(out.end(), whole.begin() + 2 * first, whole.end());
        return out;
    }
};

} // namespace lib_test
