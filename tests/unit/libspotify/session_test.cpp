// Session creation, login and the wake-up contract of the library.
#include "libspotify/library_harness.h"

namespace libspotify_test {
namespace {

using SessionCreationChecksItsConfiguration = LibraryTest;
using LoginReportsItsOutcomeThroughLoggedIn = LibraryTest;
using LibraryWakesTheProgramForDueWork = LibraryTest;

const char kLoggedIn[] = "logged_in 0 state 1 playlists 0 loaded 0";

TEST_F(SessionCreationChecksItsConfiguration, EachWrongPartFailsAndTheFailSwitchActsOnce) {
    using Spoil = void (*)(sp_session_config &, sp_session_callbacks &);
    const std::pair<Spoil, sp_error> cases[] = {
        {[](auto &c, auto &) { c.api_version = 5; }, SP_ERROR_BAD_API_VERSION},
        {[](auto &c, auto &) { c.application_key_size = 320; }, SP_ERROR_BAD_APPLICATION_KEY},
        {[](auto &c, auto &) { c.application_key = nullptr; }, SP_ERROR_BAD_APPLICATION_KEY},
        {[](auto &c, auto &) { c.user_agent = nullptr; }, SP_ERROR_BAD_USER_AGENT},
        {[](auto &c, auto &) { c.callbacks = nullptr; }, SP_ERROR_MISSING_CALLBACK},
        {[](auto &, auto &cb) { cb.logged_in = nullptr; }, SP_ERROR_MISSING_CALLBACK},
        {[](auto &, auto &cb) { cb.notify_main_thread = nullptr; }, SP_ERROR_MISSING_CALLBACK},
        {[](auto &, auto &cb) { cb.music_delivery = nullptr; }, SP_ERROR_MISSING_CALLBACK},
        {[](auto &, auto &cb) { cb.end_of_track = nullptr; }, SP_ERROR_MISSING_CALLBACK},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        sp_session_callbacks cb = callbacks;
        sp_session_config c = config();
        c.callbacks = &cb;
        cases[i].first(c, cb);
        sp_session *out = reinterpret_cast<sp_session *>(&out);
        EXPECT_EQ(sp_session_create(&c, &out), cases[i].second);
        EXPECT_EQ(out, nullptr);
    }
    sp_session *out = nullptr;
    EXPECT_NE(sp_session_create(nullptr, &out), SP_ERROR_OK);
    EXPECT_EQ(out, nullptr);

    splocal_fail_next_create(SP_ERROR_UNABLE_TO_CONTACT_SERVER);
    EXPECT_EQ(create(), SP_ERROR_UNABLE_TO_CONTACT_SERVER);
    EXPECT_EQ(session, nullptr);
    ASSERT_EQ(create(), SP_ERROR_OK);
    EXPECT_EQ(sp_session_userdata(session), this);
    EXPECT_EQ(sp_session_connectionstate(session), SP_CONNECTION_STATE_LOGGED_OUT);
    EXPECT_EQ(container(), nullptr);
}

TEST_F(LoginReportsItsOutcomeThroughLoggedIn, WrongPasswordUserAndSwitchesThenTheRightOne) {
    ASSERT_EQ(create(), SP_ERROR_OK);
    for (const auto &[user, password] :
         {std::pair{kUser, "wrong"}, std::pair{"nobody", kPassword}, std::pair{"", kPassword}}) {
        ASSERT_EQ(sp_session_login(session, user, password), SP_ERROR_OK);
        EXPECT_TRUE(rec.events.empty()); // nothing before process_events
        pump();
        EXPECT_EQ(take_events(), "logged_in 6 state 0") << user;
    }
    // Each switch acts once: on the outcome, or on the request itself.
    splocal_fail_next_login(SP_ERROR_UNABLE_TO_CONTACT_SERVER);
    log_in();
    EXPECT_EQ(take_events(), "logged_in 8 state 0");
    splocal_refuse_next_login(SP_ERROR_OTHER_TRANSIENT);
    EXPECT_EQ(sp_session_login(session, kUser, kPassword), SP_ERROR_OTHER_TRANSIENT);
    EXPECT_EQ(splocal_work_pending(session), 0);
    EXPECT_EQ(sp_session_login(session, nullptr, kPassword), SP_ERROR_INVALID_INDATA);
    pump();
    EXPECT_EQ(take_events(), "");

    log_in();
    EXPECT_EQ(take_events(), kLoggedIn);
    EXPECT_EQ(sp_session_connectionstate(session), SP_CONNECTION_STATE_LOGGED_IN);
}

TEST_F(LibraryWakesTheProgramForDueWork, NotifiesFromItsThreadAndRunsWorkOnlyInProcessEvents) {
    ASSERT_EQ(create(), SP_ERROR_OK);
    int timeout = -1;
    sp_session_process_events(session, &timeout);
    EXPECT_EQ(timeout, 1000); // nothing queued

    // This thread only sleeps while it waits: the library's thread notifies.
    const auto wait_for_notification = [&](int before) {
        for (int ms = 0; rec.notifications.load() == before && ms < 20000; ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_GT(rec.notifications.load(), before);
    };
    splocal_set_latency(200);
    ASSERT_EQ(sp_session_login(session, kUser, kPassword), SP_ERROR_OK);
    sp_session_process_events(session, &timeout);
    EXPECT_TRUE(rec.events.empty()); // not due yet
    EXPECT_GE(timeout, 1);
    EXPECT_LE(timeout, 200);
    wait_for_notification(0);
    sp_session_process_events(session, &timeout);
    EXPECT_EQ(take_events(), kLoggedIn);

    splocal_set_latency(0);
    const int before = rec.notifications.load();
    std::thread([] { splocal_lose_play_token(); }).join();
    wait_for_notification(before);
    EXPECT_TRUE(rec.events.empty());
    pump();
    EXPECT_EQ(take_events(), "play_token_lost");
}

TEST_F(LibraryWakesTheProgramForDueWork, OneRoundRunsAtMost256PiecesAndAsksAgainAtOnce) {
    log_in();
    take_events();
    for (int i = 0; i < 300; ++i)
        splocal_lose_play_token();
    for (size_t expected : {256, 44}) {
        int timeout = -1;
        sp_session_process_events(session, &timeout);
        EXPECT_EQ(std::exchange(rec.events, {}).size(), expected);
        EXPECT_EQ(timeout, expected == 256 ? 0 : 1000);
    }
}

} // namespace
} // namespace libspotify_test
