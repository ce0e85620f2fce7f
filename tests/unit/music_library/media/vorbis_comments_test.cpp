// Ogg Vorbis headers: artist and title from comments spread over pages; a
// header whose lengths do not fit its packet is refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "media/decoder.h"
#include "media/vorbis_comments.h"

namespace {

using namespace std::string_literals;

std::string le32(uint32_t v) { // x86-64 is little endian
    return std::string(reinterpret_cast<const char *>(&v), 4);
}

const std::string kIdentification =
    "\x01vorbis"s + le32(0) + '\x02' + le32(44100) + std::string(12, '\0') + "\xB8\x01"s;

std::string comment_header(const std::string &vendor, const std::vector<std::string> &comments,
                           const std::string &framing = "\x01") {
    std::string out = "\x03vorbis" + le32(static_cast<uint32_t>(vendor.size())) + vendor +
                      le32(static_cast<uint32_t>(comments.size()));
    for (const std::string &c : comments)
        out += le32(static_cast<uint32_t>(c.size())) + c;
    return out + framing;
}

// The identification page, then pages of at most `per_page` segments with
// the comment packet and a setup packet, each continuing the one before.
std::string stream(const std::string &comments, size_t per_page = 255,
                   const std::string &setup = std::string(2000, '\x05')) {
    auto page = [](int flags, const std::string &lacing, const std::string &body) {
        return "OggS\0"s + static_cast<char>(flags) + std::string(20, '\0') +
               static_cast<char>(lacing.size()) + lacing + body;
    };
    const std::string body = comments + setup;
    std::string lacing;
    for (size_t size : {comments.size(), setup.size()})
        lacing += std::string(size / 255, '\xFF') + static_cast<char>(size % 255);
    std::string out = page(2, "\x1E", kIdentification);
    for (size_t first = 0, at = 0; first < lacing.size(); first += per_page) {
        const std::string part = lacing.substr(first, per_page);
        size_t bytes = 0;
        for (char c : part)
            bytes += static_cast<unsigned char>(c);
        out += page(first ? 1 : 0, part, body.substr(at, bytes));
        at += bytes;
    }
    return out;
}

// Reads the bytes as a file of the case's own; a refusal says why.
bool read(const std::string &bytes, music::FileTags &tags) {
    const std::string path =
        std::string("tags-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::ofstream(path, std::ios::binary) << bytes;
    std::FILE *file = std::fopen(path.c_str(), "rb");
    std::string why;
    const bool ok = file && music::read_vorbis_comments(file, tags, why);
    EXPECT_TRUE(file && why.empty() == ok);
    if (file)
        std::fclose(file);
    std::remove(path.c_str());
    return ok;
}

TEST(VorbisCommentsAreReadWithinTheirPacket, NamesOverSeveralPagesAndNoLengthPastThePacket) {
    // A name given twice: the first usable one.
    const std::string header = comment_header(
        std::string(600, 'v'), {"ARTIST=\xC3(", "TITLE=" + std::string(1025, 'x'), "title=First",
                                "ARTIST=Sólveig Ørn", "ARTIST=Other", "TITLE=Dawn", "ALBUM=A"});
    music::FileTags tags;
    ASSERT_TRUE(read(stream(header, 1), tags));
    EXPECT_EQ(tags.artist + " / " + tags.title, "Sólveig Ørn / First");

    const std::string good = comment_header("v", {"TITLE=T"});
    const std::string full = stream(good);
    const std::string refused[] = {
        stream(std::string(good).replace(7, 4, le32(1000))),        // vendor
        stream(std::string(good).replace(16, 4, le32(0xFFFFFFFF))), // comment
        stream(std::string(good).replace(12, 4, le32(0x7FFFFFFF))), // count
        stream(comment_header("v", {"TITLE=T"}, "\x00"s)),
        stream(comment_header("v", {"TITLE=T"}, "")), // the next packet's byte is not its framing
        stream(comment_header("v", std::vector<std::string>(65537))),
        full.substr(0, full.size() - 2001),
        stream(good).replace(5, 1, "\x03"), // the first page marked as continuing
        stream(good).replace(58 + 5, 1, "\x01"),
    };
    for (const std::string &bytes : refused)
        EXPECT_FALSE(read(bytes, tags));
    music::FileTags fresh;
    EXPECT_TRUE(read(full, fresh));
    EXPECT_EQ(fresh.title, "T");
}

} // namespace
