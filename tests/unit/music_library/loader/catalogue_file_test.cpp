// The catalogue file: a session serves what it could read of the one in its
// settings folder (else the demo); a load stops at the first bad line.
#include "libspotify/library_harness.h"

namespace lib_test {
namespace {

class CatalogueFile : public FolderTest {
protected:
    int load(const std::string &text) {
        return splocal_load_file(write("catalogue.txt", text).c_str());
    }
};

using CatalogueFileDescribesTheCatalogue = CatalogueFile;
using CatalogueReaderIsStrict = CatalogueFile;

// Every line end ends a line: LF, CR LF, CR, and CR CR LF is two of them. A
// bad line stops a load; a session's start serves the rest and says why.
TEST_F(CatalogueFileDescribesTheCatalogue, SessionServesWhatItCouldReadFromItsSettingsFolder) {
    static std::vector<std::string> logged;
    logged.clear();
    callbacks.log_message = [](sp_session *, const char *line) { logged.push_back(line); };
    ASSERT_EQ(load("\xEF\xBB\xBF# A test catalogue\r\nlatency 0\r\n\n"
                   "account zoe s3cret\r\r\nplaylist Late Night Caf\xC3\xA9\r"
                   "track chord 220 1000 S\xC3\xB3lveig \xC3\x98rn / Blue / Hour\n"
                   "\rtrack ramp 0 250 Test / Ramp\nunavailable\ntrack bells 0 10 A / B\n"
                   "playlist \nhold-loading\ntrack noise 5 100 N / Held\nhold-metadata\n"
                   "track silence 0 100 N / Broken\nerror 10\naccount amy\nplaylist "
                   "Amy's\nfail-login 8\n"),
              11);
    splocal_reset(); // an empty catalogue makes the session read the file
    ASSERT_EQ(create(folder.string().c_str()), SP_ERROR_OK);
    log_in("zoe", "s3cret");
    log_in("zoe", "s3cret");
    EXPECT_EQ(rec.logins, (std::vector<std::string>{"8", "0 playlists 2"}));
    EXPECT_EQ(view(), "Late Night Caf\xC3\xA9[0,1] ?[]");
    sp_track *chord = sp_playlist_track(playlist_at(0), 0);
    EXPECT_STREQ(sp_artist_name(sp_track_artist(chord, 0)), "S\xC3\xB3lveig \xC3\x98rn");
    EXPECT_STREQ(sp_track_name(chord), "Blue / Hour");
    EXPECT_EQ(splocal_track_pcm(0, nullptr, 0), 44100);
    EXPECT_EQ(splocal_track_pcm(1, nullptr, 0), 11025);
    EXPECT_FALSE(sp_track_is_available(session, sp_playlist_track(playlist_at(0), 1)));
    const std::string line = (folder / "catalogue.txt").string() + ":11: unknown sound \"bells\"";
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].rfind(line, 0), 0u) << logged[0];
    EXPECT_NE(log().find(line), std::string::npos);
}

// Numbers stop at their limits; an account or playlist line ends what the
// lines after it may refer to.
TEST_F(CatalogueReaderIsStrict, TheFirstBadLineIsReportedAndNamedInTheLog) {
    const struct {
        std::string text;
        int line;
        const char *message;
    } cases[] = {
        {std::string("account a\nplaylist P\0Q\n", 22), 2, "NUL byte at column 11"},
        {"account a\xC3(\n", 1, "invalid UTF-8 at column 10"},
        {"account \xED\xA0\x80\n", 1, "invalid UTF-8 at column 9"}, // a surrogate
        {"account \xC0\xAF\n", 1, "invalid UTF-8 at column 9"},     // overlong
        {"account a\n" + std::string(5000, 'x') + "\n", 2, "line longer than 4096 bytes"},
        {"account a\r\nplaylist P\r\n\r\nbogus 1\r\n", 4, "unknown directive \"bogus\""},
        {"account a b c\n", 1, "too many words after account"},
        {"account a\naccount a\n", 2, "account \"a\" appears twice"},
        {"account a\nplaylist P\ntrack bells 1 1 A / B\n", 3, "unknown sound \"bells\""},
        {"account a\nplaylist P\ntrack tone 1 1 No separator\n", 3, "track without"},
        {"playlist Orphan\n", 1, ""},
        {"account a\nplaylist P\ntrack tone 1000000 600000 A / B\nerror 17\n", 0, ""},
        {"account a\nplaylist P\ntrack tone 1000001 1 A / B\n", 3, ""},
        {"account a\nplaylist P\ntrack tone 0 -1 A / B\n", 3, ""},
        {"chunk 8192\nchunk 1\nlatency 60000\nlatency 0\nfail-login 17\nrefuse-login 0\n", 0, ""},
        {"chunk 8193\n", 1, ""},
        {"latency -5\n", 1, ""},
        {"fail-create 99999999999999999999\n", 1, ""},
        {"account a\nplaylist P\ntrack tone 0 1 A / B\naccount b\nunavailable\n", 5, ""},
        // A new account also forgets the last account's playlist.
        {"account a\nplaylist P\naccount b\ntrack tone 0 1 A / B\n", 4,
         "track without a playlist before it"},
        {"account a\nplaylist P\naccount b\nhold-loading\n", 4, ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(load(c.text), c.line) << c.text;
        const std::string where = "catalogue.txt:" + std::to_string(c.line) + ": " + c.message;
        EXPECT_TRUE(!*c.message || log().find(where) != std::string::npos) << log();
    }
    EXPECT_EQ(splocal_load_file((folder / "missing.txt").string().c_str()), 1);
    EXPECT_EQ(splocal_load_file(nullptr), 1);
}

// The load keeps neither catalogue nor settings; an empty catalogue without
// a file in the settings folder serves the demo.
TEST_F(CatalogueReaderIsStrict, AFailedLoadChangesNothing) {
    EXPECT_EQ(load("fail-login 8\nchunk 7\naccount zoe pw\nplaylist P\n\xFF\naccount amy\n"), 5);
    EXPECT_NE(log().find(":5: invalid UTF-8"), std::string::npos);
    log_in(kUser, kPassword);
    EXPECT_EQ(rec.logins, (std::vector<std::string>{"0 playlists 0"}));

    ASSERT_EQ(load("account zoe pw\nplaylist P\nbogus\n"), 3);
    splocal_session_release(std::exchange(session, nullptr));
    splocal_reset();
    ASSERT_EQ(create(), SP_ERROR_OK);
    ASSERT_EQ(sp_session_login(session, "demo", "demo"), SP_ERROR_OK);
    ASSERT_TRUE(wait_until([&] { return rec.logins.size() == 2; }));
    const int count = sp_playlistcontainer_num_playlists(sp_session_playlistcontainer(session));
    EXPECT_EQ(rec.logins.back(), "0 playlists " + std::to_string(count));
    EXPECT_TRUE(count == 3 || count == 4);
    EXPECT_NE(view().find("\xC3"), std::string::npos); // pleasant names, not only ASCII
}

} // namespace
} // namespace lib_test
