// The playing playlist renamed and extended in the catalogue: the dialog
// shows the new name, and the new track is heard after the others.
#include "program_session.h"

#include <algorithm>
#include <string>

// Synthesized (no system decoder to wait for); the first plays on past the edit.
static const std::string kTracks = "track chord 262 7000 Ana / Morning\n"
                                   "track sweep 4000 1500 Bo / Rising\n"
                                   "track drums 140 1500 Cy / Beat\n";

class ProgramFollowsCatalogueEdits : public ProgramSession {};

TEST_F(ProgramFollowsCatalogueEdits, RenamedAndExtendedPlaylistListedAnewItsNewTrackPlaysLast) {
    constexpr int kMorning = 0, kRising = 1, kBeat = 2, kAdded = 3;
    ASSERT_NO_FATAL_FAILURE(start("account me\nplaylist Mix\n" + kTracks));
    ASSERT_NE(log_in_and_play("me", "", 1), nullptr);
    const std::vector<int16_t> morning = track_audio(kMorning);
    ASSERT_TRUE(driver::wait_until([&] { return find_from(captured(), morning) >= 0; }, 20000));

    write_catalogue("account me\nplaylist Road Trip\n" + kTracks +
                    "track tone 660 1500 D / Added\n");
    // Listed by the dialog, hidden behind the main window.
    ASSERT_TRUE(driver::wait_until([&] { return dialog_.listed(0) == L"Road Trip"; }, 15000));

    // The rename stopped the program (it follows a name); its dialog, shown again, restarts it.
    const size_t from = captured().size();
    ShowWindow(dialog_.window, SW_SHOW);
    for (int tries = 0; tries < 3 && IsWindowVisible(dialog_.window); ++tries) { // lost clicks
        dialog_.choose(0);
        dialog_.start_playing();
        driver::wait_until([&] { return !IsWindowVisible(dialog_.window); }, 3000);
    }
    const auto played = [&] {
        std::vector<int16_t> sound = captured();
        sound.erase(sound.begin(), sound.begin() + std::min<long long>(from, sound.size()));
        const long long at = find_from(sound, track_audio(kRising)); // first since the edit
        sound.erase(sound.begin(), sound.begin() + std::max(at, 0ll));
        return plays_gapless(sound, {kRising, kBeat, kAdded});
    };
    driver::wait_until([&] { return static_cast<bool>(played()); }, 45000, 200);
    EXPECT_TRUE(played());
}
