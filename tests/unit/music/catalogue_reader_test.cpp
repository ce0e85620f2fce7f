// The catalogue reader is strict and bounded: every kind of line end, a
// clear message for each bad line in the log beside the file, a failed load
// that changes nothing, and a start-up that serves what it could read.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "libspotify/library_harness.h"

namespace lib_test {
namespace {

class CatalogueReaderIsStrict : public LibraryTest {
protected:
    // One folder per case: cases run side by side in the same folder.
    const std::filesystem::path kFolder =
        std::string("music-catalogue-") +
        ::testing::UnitTest::GetInstance()->current_test_info()->name();

    void TearDown() override {
        LibraryTest::TearDown();
        std::error_code ignored;
        std::filesystem::remove_all(kFolder, ignored);
    }
    std::string write(const std::string &text) {
        std::filesystem::create_directories(kFolder);
        std::ofstream(kFolder / "catalogue.txt", std::ios::binary) << text;
        return (kFolder / "catalogue.txt").string();
    }
    int load(const std::string &text) { return splocal_load_file(write(text).c_str()); }
    std::string log() {
        std::ifstream in(kFolder / "library.log", std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    // Logs in to a fresh session and gives the view.
    std::string served(const char *user, const char *password) {
        splocal_session_release(session);
        session = nullptr;
        log_in(user, password);
        return view();
    }
};

TEST_F(CatalogueReaderIsStrict, EveryLineEndEndsALine) {
    ASSERT_EQ(load("# CR only\raccount a pw\rplaylist P\rtrack tone 0 10 A / T\r"), 0);
    EXPECT_EQ(served("a", "pw"), "P[0]");
    ASSERT_EQ(load("account a pw\r\r\nplaylist P\r\n\r\nplaylist Q\n\rtrack ramp 0 1 A / B"), 0);
    EXPECT_EQ(served("a", "pw"), "P[] Q[0]") << "CR CR LF is two line ends, no CR in the password";
}

TEST_F(CatalogueReaderIsStrict, EachBadLineIsNamedInTheLog) {
    const std::pair<std::string, std::string> cases[] = {
        {std::string("account a\nplaylist P\0Q\n", 22), ":2: NUL byte at column 11"},
        {"account a\xC3(\n", ":1: invalid UTF-8 at column 10"},
        {"account \xED\xA0\x80\n", ":1: invalid UTF-8 at column 9"}, // a surrogate
        {"account \xC0\xAF\n", ":1: invalid UTF-8 at column 9"},     // overlong
        {"account a\n" + std::string(5000, 'x') + "\n", ":2: line longer than 4096 bytes"},
        {"account a\nbogus 1\n", ":2: unknown directive \"bogus\""},
        {"account a b c\n", ":1: too many words after account"},
        {"account a\naccount a\n", ":2: account \"a\" appears twice"},
        {"account a\nplaylist P\ntrack bells 1 1 A / B\n", ":3: unknown sound \"bells\""},
        {"account a\nplaylist P\ntrack tone 1 1 No separator\n", ":3: track without"},
    };
    for (const auto &[text, message] : cases) {
        EXPECT_NE(load(text), 0) << text;
        EXPECT_NE(log().find("catalogue.txt" + message), std::string::npos) << log();
    }
}

TEST_F(CatalogueReaderIsStrict, AFailedLoadChangesNothing) {
    // A good line after the bad one still counts as read; the load fails at
    // the first bad line and keeps neither catalogue nor settings.
    EXPECT_EQ(load("fail-login 8\nchunk 7\naccount zoe pw\nplaylist P\n\xFF\naccount amy\n"), 5);
    EXPECT_NE(log().find(":5: invalid UTF-8"), std::string::npos);
    log_in(kUser, kPassword);
    EXPECT_EQ(rec.logins, (std::vector<std::string>{"0 playlists 0"}));
}

TEST_F(CatalogueReaderIsStrict, NumbersStopAtTheirLimits) {
    const char *const head = "account a\nplaylist P\n";
    const std::pair<std::string, int> cases[] = {
        {"track tone 1000000 600000 A / B\nerror 17\n", 0},
        {"track tone 1000001 1 A / B\n", 3},
        {"track tone 0 600001 A / B\n", 3},
        {"track tone 0 -1 A / B\n", 3},
        {"track tone 0 1 A / B\nerror 18\n", 4},
        {"chunk 8192\nchunk 1\nlatency 60000\nlatency 0\nfail-login 17\nrefuse-login 0\n", 0},
        {"chunk 8193\n", 3},
        {"chunk 0\n", 3},
        {"latency 60001\n", 3},
        {"fail-create 18\n", 3},
        {"fail-create 99999999999999999999\n", 3},
        {"latency\n", 3},
    };
    for (const auto &[tail, line] : cases)
        EXPECT_EQ(load(head + tail), line) << tail;
}

TEST_F(CatalogueReaderIsStrict, AccountAndPlaylistLinesResetWhatFollows) {
    const std::pair<const char *, int> cases[] = {
        {"account a\nplaylist P\ntrack tone 0 1 A / B\naccount b\nunavailable\n", 5},
        {"account a\nplaylist P\ntrack tone 0 1 A / B\naccount b\nhold-loading\n", 5},
        {"account a\nplaylist P\ntrack tone 0 1 A / B\naccount b\ntrack tone 0 1 A / B\n", 5},
        {"account a\nplaylist P\ntrack tone 0 1 A / B\nplaylist Q\nerror 3\n", 5},
        {"account a\nplaylist P\ntrack tone 0 1 A / B\nplaylist Q\nhold-metadata\n", 5},
    };
    for (const auto &[text, line] : cases)
        EXPECT_EQ(load(text), line) << text;
}

TEST_F(CatalogueReaderIsStrict, LargeFilesStayCheapAndExact) {
    // A line of two million one-letter words is refused without storing
    // them; a hundred thousand accounts load, and the repeated last one is
    // still found.
    std::string words(4'000'000, 'a');
    for (size_t i = 1; i < words.size(); i += 2)
        words[i] = ' ';
    EXPECT_EQ(load("account a\n" + words + "\n"), 2);
    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "account user" + std::to_string(i) + " pw\n";
    EXPECT_EQ(load(many + "account user0\n"), 100001);
}

TEST_F(CatalogueReaderIsStrict, StartUpServesWhatItCouldRead) {
    static std::vector<std::string> logged;
    logged.clear();
    callbacks.log_message = [](sp_session *, const char *line) { logged.push_back(line); };
    write("latency 0\naccount zoe pw\nplaylist Good\ntrack tone 0 10 A / B\nplaylist Bad\n"
          "track bells 0 10 A / B\nunavailable\ntrack ramp 0 10 A / C\n");
    splocal_reset();
    ASSERT_EQ(create(kFolder.string().c_str()), SP_ERROR_OK);
    log_in("zoe", "pw");
    EXPECT_EQ(view(), "Good[0] Bad[1]");
    const std::string file = (kFolder / "catalogue.txt").string();
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0].rfind(file + ":6: unknown sound", 0), 0u) << logged[0];
    EXPECT_EQ(logged[1], file + ":7: unavailable without a track before it");
    EXPECT_NE(log().find(logged[1]), std::string::npos);
}

} // namespace
} // namespace lib_test
