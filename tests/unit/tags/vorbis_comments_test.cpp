// Ogg Vorbis headers: artist and title from comments spread over pages, and
// every header whose lengths do not fit its packet refused before the
// decoder would trust them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "vorbis_comments.h"

namespace {

using namespace std::string_literals;

std::string le32(uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
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

// The stream: the identification page, then the comment packet over pages
// of at most `per_page` segments, each after the first continuing it.
std::string stream(const std::string &packet, size_t per_page = 255) {
    auto page = [](int flags, const std::string &lacing, const std::string &body) {
        return "OggS\0"s + static_cast<char>(flags) + std::string(20, '\0') +
               static_cast<char>(lacing.size()) + lacing + body;
    };
    std::string out = page(2, "\x1E", kIdentification);
    std::string lacing(packet.size() / 255, '\xFF');
    lacing += static_cast<char>(packet.size() % 255);
    size_t at = 0;
    for (size_t s = 0; s < lacing.size(); s += per_page) {
        const std::string part = lacing.substr(s, per_page);
        size_t bytes = 0;
        for (char c : part)
            bytes += static_cast<unsigned char>(c);
        out += page(s == 0 ? 0 : 1, part, packet.substr(at, bytes));
        at += bytes;
    }
    return out;
}

bool read(const std::string &bytes, splocal::FileTags &tags) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "lorvane-vorbis-comments.ogg";
    std::ofstream(path, std::ios::binary) << bytes;
    std::FILE *file = std::fopen(path.string().c_str(), "rb");
    EXPECT_NE(file, nullptr);
    std::string why;
    const bool ok = file && splocal::read_vorbis_comments(file, tags, why);
    EXPECT_EQ(why.empty(), ok);
    if (file)
        std::fclose(file);
    std::filesystem::remove(path);
    return ok;
}

TEST(VorbisCommentsAreReadWithinTheirPacket, NamesFromCommentsOverSeveralPages) {
    const std::string header = comment_header(
        std::string(600, 'v'), {"title=First", "ARTIST=Sólveig Ørn", "ARTIST=\xC3(", "TITLE=Dawn",
                                "TITLE=" + std::string(1025, 'x'), "ALBUM=Other"});
    splocal::FileTags tags;
    ASSERT_TRUE(read(stream(header, 1), tags));
    EXPECT_EQ(tags.artist, "Sólveig Ørn");
    EXPECT_EQ(tags.title, "Dawn");
}

TEST(VorbisCommentsAreReadWithinTheirPacket, LengthsPastThePacketAreRefused) {
    const std::string good = comment_header("v", {"TITLE=T"});
    std::string vendor_past = good;
    vendor_past.replace(7, 4, le32(1000));
    std::string comment_past = good;
    comment_past.replace(16, 4, le32(0xFFFFFFFF));
    std::string count_past = good;
    count_past.replace(12, 4, le32(0x7FFFFFFF));
    const std::string full = stream(good);
    const std::string refused[] = {
        stream(vendor_past),
        stream(comment_past),
        stream(count_past),
        stream(comment_header("v", {"TITLE=T"}, "\x00"s)),
        stream(comment_header("v", std::vector<std::string>(65537))),
        full.substr(0, full.size() - 1),
        stream(good).replace(5, 1, "\x03"), // the first page marked as continuing
        stream(good).replace(58 + 5, 1, "\x01"),
        "RIFF"s + full,
    };
    for (const std::string &bytes : refused) {
        splocal::FileTags tags;
        EXPECT_FALSE(read(bytes, tags));
    }
    splocal::FileTags tags;
    EXPECT_TRUE(read(full, tags));
    EXPECT_EQ(tags.title, "T");
}

} // namespace
