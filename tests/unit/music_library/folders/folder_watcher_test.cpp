// The folder watcher: the system's notifications (inotify natively,
// ReadDirectoryChangesW under Windows and Wine) name the directory where an
// entry was added, removed, renamed or rewritten; names of no interest stay
// silent; a directory that cannot be followed is found changed by its poll.
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "folders/folder_watcher.h"
#include "under_wine.h"

namespace {

namespace fs = std::filesystem;
using music::FolderChanges;
using music::FolderWatcher;
using music::FolderWatchOptions;

void put(const fs::path &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class FolderWatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(root);
        fs::create_directories(root / "Album" / "Disc 2");
        put(root / "Album" / "a.wav", "a");
        put(root / "Album" / "Disc 2" / "b.wav", "b");
        put(root / "Album" / "a.wav.part", "a2");   // an editor's save, yet to be renamed
        fs::create_directories(root / "Downloads"); // not followed
        put(root / "Downloads" / "c.wav", "c");
    }
    void TearDown() override {
        watcher.reset();
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    std::string dir(const std::string &name) const { return (root / name).string(); }
    void start(FolderWatchOptions options = {}) {
        options.ignored_names = {"library.log"};
        watcher = std::make_unique<FolderWatcher>(std::move(options));
        watcher->follow({dir("Album"), dir("Album/Disc 2")}, {dir("catalogue.txt")});
    }
    // Every directory reported until `wanted` is (at most 10 s).
    std::set<std::string> until(const std::string &wanted) {
        std::set<std::string> seen;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!seen.count(wanted) && std::chrono::steady_clock::now() < end) {
            const FolderChanges changes = watcher->wait(100);
            seen.insert(changes.directories.begin(), changes.directories.end());
            notes.insert(notes.end(), changes.notes.begin(), changes.notes.end());
        }
        return seen;
    }
    // One folder per case: ctest runs the cases as processes side by side.
    const fs::path root = fs::absolute(
        "folder-watcher-" + std::to_string(std::hash<std::string>{}(
                                ::testing::UnitTest::GetInstance()->current_test_info()->name())));
    std::unique_ptr<FolderWatcher> watcher;
    std::vector<std::string> notes;
};

struct Edit {
    const char *what;
    const char *folder;
    void (*edit)(const fs::path &root);
};

// Each kind once, in the followed folder or in the one inside it. Moves
// into or out of the followed tree are told in one folder only.
const Edit kEdits[] = {
    {"Added", "Album", [](const fs::path &r) { put(r / "Album/new.wav", "n"); }},
    {"NestedRemoved", "Album/Disc 2",
     [](const fs::path &r) { fs::remove(r / "Album/Disc 2/b.wav"); }},
    {"NestedRewritten", "Album/Disc 2",
     [](const fs::path &r) { put(r / "Album/Disc 2/b.wav", "bb"); }},
    {"SavedByARenameOverIt", "Album",
     [](const fs::path &r) { fs::rename(r / "Album/a.wav.part", r / "Album/a.wav"); }},
    {"FileMovedIn", "Album",
     [](const fs::path &r) { fs::rename(r / "Downloads/c.wav", r / "Album/c.wav"); }},
    {"NestedMovedOut", "Album/Disc 2",
     [](const fs::path &r) { fs::rename(r / "Album/Disc 2/b.wav", r / "Downloads/b.wav"); }},
};

class EachEditIsReported : public FolderWatcherTest, public ::testing::WithParamInterface<Edit> {};

TEST_P(EachEditIsReported, ByItsFolder) {
    start();
    GetParam().edit(root);
    EXPECT_TRUE(until(dir(GetParam().folder)).count(dir(GetParam().folder)));
}

INSTANTIATE_TEST_SUITE_P(Notifications, EachEditIsReported, ::testing::ValuesIn(kEdits),
                         [](const ::testing::TestParamInfo<Edit> &p) { return p.param.what; });

TEST_F(FolderWatcherTest, TheLogAndFilesOfNoInterestAreSilentTheFileOfInterestIsNot) {
    start();
    put(root / "Album" / "library.log", "the library's own line");
    put(root / "notes.txt", "beside the catalogue");
    put(root / "catalogue.txt", "account a");
    // The system tells these in order: the catalogue's change comes after
    // the other two, and is the only one reported.
    EXPECT_EQ(until(root.string()), std::set<std::string>{root.string()});
}

TEST_F(FolderWatcherTest, AFolderThatCannotBeFollowedIsPolledWithANote) {
    FolderWatchOptions options;
    options.poll_period = std::chrono::milliseconds(50);
    options.can_notify = [&](const std::string &d) { return d != dir("Album/Disc 2"); };
    start(std::move(options));
    put(root / "Album" / "Disc 2" / "c.wav", "c");
    EXPECT_TRUE(until(dir("Album/Disc 2")).count(dir("Album/Disc 2")));
    EXPECT_EQ(notes, std::vector<std::string>{dir("Album/Disc 2") +
                                              ": no change notifications here; looked at every "
                                              "0.05 s"});
}

TEST_F(FolderWatcherTest, AFolderRemovedIsReportedAndFollowedAgainWhenMadeAgain) {
    if (under_wine())
        GTEST_SKIP() << "Wine keeps a folder removed while a watch holds it open waiting to be "
                        "deleted, and goes on answering the watch: no removal is ever told";
    start();
    fs::remove_all(root / "Album" / "Disc 2");
    EXPECT_TRUE(until(dir("Album/Disc 2")).count(dir("Album/Disc 2")));
    fs::create_directory(root / "Album" / "Disc 2");
    EXPECT_EQ(watcher->follow({dir("Album"), dir("Album/Disc 2")}, {}),
              std::vector<std::string>{dir("Album/Disc 2")});
    put(root / "Album" / "Disc 2" / "d.wav", "d");
    EXPECT_TRUE(until(dir("Album/Disc 2")).count(dir("Album/Disc 2")));
}

#ifndef _WIN32
// More events than the system keeps: the loss is told as "anything may have
// changed", whatever else came.
TEST_F(FolderWatcherTest, EventsTheSystemLostAreToldAsEverything) {
    int kept = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> kept;
    ASSERT_GT(kept, 0);
    start();
    const fs::path names[] = {root / "Album" / "a.wav.part", root / "Album" / "x"};
    for (int i = 0; i <= kept / 2; ++i) // a rename is two events
        fs::rename(names[i % 2], names[(i + 1) % 2]);
    EXPECT_TRUE(watcher->wait(1000).everything);
}
#endif

TEST_F(FolderWatcherTest, WakeEndsAWaitWithoutEndFromAnotherThread) {
    start();
    std::thread waiter([&] { watcher->wait(-1); });
    watcher->wake();
    waiter.join(); // a wake before the wait began counts too
}

} // namespace
