// Session creation, login and the wake-up contract of the library.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "libspotify/library_harness.h"

namespace libspotify_test {
namespace {

using SessionCreationChecksItsConfiguration = LibraryTest;
using LoginReportsItsOutcomeThroughLoggedIn = LibraryTest;
using LibraryWakesTheProgramForDueWork = LibraryTest;

const unsigned char kKey[321] = {};

sp_session_config good_config(const sp_session_callbacks *callbacks) {
    sp_session_config config{};
    config.api_version = 6;
    config.cache_location = "tmp";
    config.settings_location = "no-such-folder";
    config.application_key = kKey;
    config.application_key_size = sizeof kKey;
    config.user_agent = "spshell";
    config.callbacks = callbacks;
    return config;
}

TEST_F(SessionCreationChecksItsConfiguration, EachMissingOrWrongPartFails) {
    struct Case {
        const char *what;
        std::function<void(sp_session_config &, sp_session_callbacks &)> spoil;
        sp_error expected;
    };
    const Case cases[] = {
        {"version 5", [](auto &c, auto &) { c.api_version = 5; }, SP_ERROR_BAD_API_VERSION},
        {"key of 320 bytes", [](auto &c, auto &) { c.application_key_size = 320; },
         SP_ERROR_BAD_APPLICATION_KEY},
        {"no key", [](auto &c, auto &) { c.application_key = nullptr; },
         SP_ERROR_BAD_APPLICATION_KEY},
        {"no user agent", [](auto &c, auto &) { c.user_agent = nullptr; }, SP_ERROR_BAD_USER_AGENT},
        {"no callbacks", [](auto &c, auto &) { c.callbacks = nullptr; }, SP_ERROR_MISSING_CALLBACK},
        {"no logged_in", [](auto &, auto &cb) { cb.logged_in = nullptr; },
         SP_ERROR_MISSING_CALLBACK},
        {"no notify_main_thread", [](auto &, auto &cb) { cb.notify_main_thread = nullptr; },
         SP_ERROR_MISSING_CALLBACK},
        {"no music_delivery", [](auto &, auto &cb) { cb.music_delivery = nullptr; },
         SP_ERROR_MISSING_CALLBACK},
        {"no end_of_track", [](auto &, auto &cb) { cb.end_of_track = nullptr; },
         SP_ERROR_MISSING_CALLBACK},
    };
    for (const Case &c : cases) {
        sp_session_callbacks cb = callbacks;
        sp_session_config config = good_config(&cb);
        c.spoil(config, cb);
        sp_session *out = reinterpret_cast<sp_session *>(&out);
        EXPECT_EQ(sp_session_create(&config, &out), c.expected) << c.what;
        EXPECT_EQ(out, nullptr) << c.what;
    }
    sp_session *out = nullptr;
    EXPECT_NE(sp_session_create(nullptr, &out), SP_ERROR_OK);
    EXPECT_EQ(out, nullptr);
}

TEST_F(SessionCreationChecksItsConfiguration, FailSwitchFailsTheNextCreateOnce) {
    splocal_fail_next_create(SP_ERROR_UNABLE_TO_CONTACT_SERVER);
    EXPECT_EQ(create(), SP_ERROR_UNABLE_TO_CONTACT_SERVER);
    EXPECT_EQ(session, nullptr);
    EXPECT_EQ(create(), SP_ERROR_OK);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(sp_session_userdata(session), this);
    EXPECT_EQ(sp_session_connectionstate(session), SP_CONNECTION_STATE_LOGGED_OUT);
    EXPECT_EQ(sp_session_playlistcontainer(session), nullptr);
}

TEST_F(SessionCreationChecksItsConfiguration, EmptyCatalogueComesFromTheSettingsFileElseTheDemo) {
    // No catalogue and no file: the demo account.
    splocal_reset();
    splocal_set_latency(0);
    ASSERT_EQ(create("no-such-folder"), SP_ERROR_OK);
    log_in("demo", "demo");
    EXPECT_EQ(take_events().front(), "logged_in 0 state 1 container");
    EXPECT_GE(sp_playlistcontainer_num_playlists(container()), 3);
    splocal_session_release(session);
    session = nullptr;

    // A catalogue file in the settings location.
    const std::filesystem::path folder = "libspotify-settings-test";
    std::filesystem::create_directories(folder);
    {
        std::ofstream file(folder / "catalogue.txt", std::ios::binary);
        file << "account zoe pw\nplaylist From File\ntrack tone 440 500 Zed / Zero\n";
    }
    splocal_reset();
    splocal_set_latency(0);
    ASSERT_EQ(create(folder.string().c_str()), SP_ERROR_OK);
    log_in("demo", "demo");
    EXPECT_EQ(take_events().front(), "logged_in 6 state 0 no-container");
    log_in("zoe", "pw");
    EXPECT_EQ(take_events().front(), "logged_in 0 state 1 container");
    ASSERT_EQ(sp_playlistcontainer_num_playlists(container()), 1);
    EXPECT_STREQ(sp_playlist_name(playlist_at(0)), "From File");
    splocal_session_release(session);
    session = nullptr;

    // A catalogue file with a bad line makes creation fail loudly.
    {
        std::ofstream file(folder / "catalogue.txt", std::ios::binary);
        file << "account zoe pw\nplaylist\ntrack bells 1 2 A / B\n";
    }
    splocal_reset();
    splocal_set_latency(0);
    EXPECT_EQ(create(folder.string().c_str()), SP_ERROR_API_INITIALIZATION_FAILED);
    EXPECT_EQ(session, nullptr);
    std::filesystem::remove_all(folder);
}

TEST_F(LoginReportsItsOutcomeThroughLoggedIn, WrongPasswordThenTheRightOneOnTheSameSession) {
    ASSERT_EQ(create(), SP_ERROR_OK);
    ASSERT_EQ(sp_session_login(session, kUser, "wrong"), SP_ERROR_OK);
    EXPECT_TRUE(rec.events.empty()); // nothing before process_events
    pump();
    EXPECT_EQ(take_events(), std::vector<std::string>{"logged_in 6 state 0 no-container"});
    EXPECT_EQ(sp_session_connectionstate(session), SP_CONNECTION_STATE_LOGGED_OUT);

    ASSERT_EQ(sp_session_login(session, "nobody", kPassword), SP_ERROR_OK);
    pump();
    EXPECT_EQ(take_events(), std::vector<std::string>{"logged_in 6 state 0 no-container"});

    ASSERT_EQ(sp_session_login(session, kUser, kPassword), SP_ERROR_OK);
    EXPECT_EQ(sp_session_connectionstate(session), SP_CONNECTION_STATE_LOGGED_OUT);
    pump();
    EXPECT_EQ(take_events(), std::vector<std::string>{"logged_in 0 state 1 container"});
    EXPECT_EQ(sp_session_connectionstate(session), SP_CONNECTION_STATE_LOGGED_IN);
}

TEST_F(LoginReportsItsOutcomeThroughLoggedIn, SwitchesFailTheOutcomeOrTheRequestOnce) {
    ASSERT_EQ(create(), SP_ERROR_OK);
    splocal_fail_next_login(SP_ERROR_UNABLE_TO_CONTACT_SERVER);
    ASSERT_EQ(sp_session_login(session, kUser, kPassword), SP_ERROR_OK);
    pump();
    EXPECT_EQ(take_events(), std::vector<std::string>{"logged_in 8 state 0 no-container"});

    splocal_refuse_next_login(SP_ERROR_OTHER_TRANSIENT);
    EXPECT_EQ(sp_session_login(session, kUser, kPassword), SP_ERROR_OTHER_TRANSIENT);
    EXPECT_EQ(splocal_work_pending(session), 0);
    pump();
    EXPECT_TRUE(take_events().empty());

    EXPECT_NE(sp_session_login(session, "", kPassword), SP_ERROR_OK);
    EXPECT_NE(sp_session_login(session, nullptr, kPassword), SP_ERROR_OK);

    log_in();
    EXPECT_EQ(take_events(), std::vector<std::string>{"logged_in 0 state 1 container"});
}

TEST_F(LoginReportsItsOutcomeThroughLoggedIn, PlaylistsArePresentButNotLoadedWhenLoggedInRuns) {
    const int a = add_playlist("A", {add_tone_track("a1"), add_tone_track("a2")});
    const int b = add_playlist("B", {add_tone_track("b1")});
    ASSERT_EQ(create(), SP_ERROR_OK);
    ASSERT_EQ(sp_session_login(session, kUser, kPassword), SP_ERROR_OK);
    int timeout = -1;
    sp_session_process_events(session, &timeout);
    EXPECT_EQ(take_events(), std::vector<std::string>{"logged_in 0 state 1 container"});
    ASSERT_EQ(sp_playlistcontainer_num_playlists(container()), 2);
    EXPECT_EQ(splocal_playlist_id(playlist_at(0)), a);
    EXPECT_EQ(splocal_playlist_id(playlist_at(1)), b);
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(sp_playlist_is_loaded(playlist_at(i)));
        EXPECT_EQ(sp_playlist_num_tracks(playlist_at(i)), 0);
    }
    // The loads are the next round's work.
    EXPECT_TRUE(splocal_work_pending(session));
    pump();
    EXPECT_TRUE(sp_playlist_is_loaded(playlist_at(0)));
    EXPECT_EQ(sp_playlist_num_tracks(playlist_at(0)), 2);
}

TEST_F(LibraryWakesTheProgramForDueWork, NotifiesWhenWorkFallsDueAndReportsTheWait) {
    ASSERT_EQ(create(), SP_ERROR_OK);
    int timeout = -1;
    sp_session_process_events(session, &timeout);
    EXPECT_EQ(timeout, 1000); // nothing queued

    splocal_set_latency(200);
    ASSERT_EQ(sp_session_login(session, kUser, kPassword), SP_ERROR_OK);
    sp_session_process_events(session, &timeout);
    EXPECT_TRUE(rec.events.empty()); // not due yet
    EXPECT_GE(timeout, 1);
    EXPECT_LE(timeout, 200);

    // The library's thread calls notify_main_thread once the login is due.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (rec.notifications.load() == 0 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_GE(rec.notifications.load(), 1);
    sp_session_process_events(session, &timeout);
    EXPECT_EQ(take_events(), std::vector<std::string>{"logged_in 0 state 1 container"});
}

TEST_F(LibraryWakesTheProgramForDueWork, AChangeFromAnotherThreadWakesTheProgram) {
    log_in();
    take_events();
    const int before = rec.notifications.load();
    std::thread other([] { splocal_lose_play_token(); });
    other.join();
    // Nothing runs before the program processes events, but it is woken.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (rec.notifications.load() == before && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GT(rec.notifications.load(), before);
    EXPECT_TRUE(rec.events.empty());
    pump();
    EXPECT_EQ(take_events(), std::vector<std::string>{"play_token_lost"});
}

TEST_F(LibraryWakesTheProgramForDueWork, ProcessEventsRunsDueWorkAndAsksAgainAtOnceWhenMoreIsDue) {
    ASSERT_EQ(create(), SP_ERROR_OK);
    log_in();
    take_events();
    for (int i = 0; i < 300; ++i)
        splocal_lose_play_token(); // more than one call's worth
    int timeout = -1;
    sp_session_process_events(session, &timeout);
    EXPECT_EQ(timeout, 0);
    size_t calls = 1;
    while (timeout == 0 && calls < 10) {
        sp_session_process_events(session, &timeout);
        ++calls;
    }
    EXPECT_EQ(rec.events.size(), 300u);
    EXPECT_EQ(timeout, 1000);
}

} // namespace
} // namespace libspotify_test
