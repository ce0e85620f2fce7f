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
    dialog_.log_in("me", "");
    ASSERT_TRUE(dialog_.wait_for_playlists(1));
    ASSERT_TRUE(dialog_.choose(0));
    ASSERT_NE(dialog_.start_playing(), nullptr);
    const std::vector<int16_t> morning = track_audio(kMorning);
    ASSERT_TRUE(driver::wait_until([&] { return find_start(captured(), morning) >= 0; }, 20000));

    write_catalogue("account me\nplaylist Road Trip\n" + kTracks +
                    "track tone 660 1500 D / Added\n");
    const auto listed = [&] { // by the dialog, hidden behind the main window
        wchar_t name[64] = {};
        SendMessageW(dialog_.item(IDC_PLAYLIST), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(name));
        return std::wstring(name);
    };
    ASSERT_TRUE(driver::wait_until([&] { return listed() == L"Road Trip"; }, 15000));

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
        const long long at = find_start(sound, track_audio(kRising)); // first since the edit
        sound.erase(sound.begin(), sound.begin() + std::max(at, 0ll));
        return plays_gapless(sound, {kRising, kBeat, kAdded});
    };
    driver::wait_until([&] { return static_cast<bool>(played()); }, 45000, 200);
    EXPECT_TRUE(played());
}
