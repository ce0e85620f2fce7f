// Tracks from WAV and Ogg Vorbis files: what they decode to, how they fail
// or end early, where a seek goes on, and their lengths.
#include "libspotify/library_harness.h"
#include "libspotify/player_seeking.h"
#include "ogg_file.h"
#include "wav_file.h"

namespace lib_test {
namespace {

using music_test::OggLink;
using music_test::sine;
using music_test::wav_bytes;

class FileTracks : public SeekingTest<FolderTest> {
protected:
    void add(const std::string &name, const std::string &bytes) {
        write(name, bytes);
        lines += "track file " + name + "\n";
    }
    void load() { // the files added, as tracks 0, 1, ...
        const std::string catalogue = "latency 0\naccount me\nplaylist Files\n" + lines;
        ASSERT_EQ(splocal_load_file(write("catalogue.txt", catalogue).c_str()), 0);
    }
    // Plays each track through the player to its end; returns the log.
    std::string play_each(int count) {
        log_in("me", "");
        int ends = 0;
        for (int i = 0; i < count; ++i) {
            if (sp_session_player_load(session, sp_playlist_track(playlist_at(0), i)) !=
                SP_ERROR_OK)
                continue;
            sp_session_player_play(session, 1);
            ++ends;
            EXPECT_TRUE(wait_until([&] { return rec.end_of_track.load() == ends; })) << i;
        }
        return log();
    }
    std::string lines;
};

TEST_F(FileTracks, EachWavVariantDecodesToItsContent) {
    std::vector<int16_t> stereo;
    std::vector<int16_t> coarse; // 8-bit steps
    std::vector<double> exact, coarse_exact;
    for (int n = 0; n < 3000; ++n) {
        for (int c = 0; c < 2; ++c) {
            stereo.push_back(static_cast<int16_t>(n * 97 + c * 5003 - 32768));
            coarse.push_back(static_cast<int16_t>(((n * 7 + c * 31) % 256 - 128) * 256));
            exact.push_back(stereo.back() / 32768.0);
            coarse_exact.push_back(coarse.back() / 32768.0);
        }
    }
    add("s16.wav", wav_bytes({}, exact));
    add("s24.wav", wav_bytes({44100, 2, 24}, exact));
    add("s32.wav", wav_bytes({44100, 2, 32}, exact));
    add("f32.wav", wav_bytes({44100, 2, 32, true}, exact));
    add("f64.wav", wav_bytes({44100, 2, 64, true}, exact));
    add("ext24.wav", wav_bytes({44100, 2, 24, false, true, 3}, exact));
    add("u8.wav", wav_bytes({44100, 2, 8}, coarse_exact));
    // Mono to both sides; 5.1 down-mixed (centre and backs at -3 dB, the
    // low-frequency channel left out); float beyond full scale clipped.
    add("mono.wav", wav_bytes({44100, 1, 16}, {0.25, -0.5}));
    add("surround.wav",
        wav_bytes({44100, 6, 16, false, true, 0x3F}, {0.5, 0.0, 0.25, 0.9, 0.125, -0.125}));
    add("loud.wav", wav_bytes({44100, 2, 32, true}, {1.5, -2.0, 0.99999, -1.0}));
    // A data chunk that claims more than the file holds gives what it holds.
    const std::string good = wav_bytes({}, exact);
    add("cut.wav", good.substr(0, good.size() - 4000));
    // What recorders that stopped before writing the sizes leave: the RIFF
    // size, the data size or both at 0 or 0xFFFFFFFF, the RIFF size of an
    // empty file, or 8. They play to the end, with a note.
    const size_t data = good.find("data") + 4;
    const auto set32 = [](std::string bytes, size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<char>(value >> (8 * i));
        return bytes;
    };
    const uint32_t sizes[][2] = {{0, 0},     {0xFFFFFFFF, 0xFFFFFFFF}, {36, 0},
                                 {0, 12000}, {0xFFFFFFFF, 12000},      {8, 12000},
                                 {36, 12000}};
    for (const auto &c : sizes) // the RIFF size, the data size
        add("placeholder" + std::to_string(&c - sizes) + ".wav",
            set32(set32(good, 4, c[0]), data, c[1]));
    add("s24in32.wav", wav_bytes({.bits = 24, .container = 4}, exact));
    const std::string rf64 = wav_bytes({.rf64 = true}, exact) + std::string("JUNK\4\0\0\0junk", 12);
    add("rf64.wav", rf64);
    add("bw64.wav", "BW64" + rf64.substr(4));
    std::vector<double> coded; // G.711: the ends and the middle of its tables
    for (int code : {0x00, 0x80, 0x01, 0x81, 0x2A, 0xAA, 0x55, 0xD5, 0x70, 0xF0, 0x7F, 0xFF})
        coded.push_back((code - 128) / 128.0);
    add("alaw.wav", wav_bytes({.bits = 8, .tag = 6}, coded));
    add("ulaw.wav", wav_bytes({.bits = 8, .tag = 7}, coded));
    // Room set aside before the samples (16 MiB of zeros), and recordings of
    // 2 GiB that stopped before they wrote any size, with and without their
    // samples: as sparse files.
    const auto sparse = [&](const std::string &name, const std::string &head, int64_t gap,
                            const std::string &tail) {
        const std::string path = write(name, head);
        std::filesystem::resize_file(path, head.size() + static_cast<uint64_t>(gap));
        std::ofstream(path, std::ios::binary | std::ios::app) << tail;
        lines += "track file " + name + "\n";
    };
    sparse("gap.wav", set32(good.substr(0, data - 4), 4, good.size() - 8 + (16 << 20)), 16 << 20,
           good.substr(data - 4));
    sparse("unfilled.wav", set32(good.substr(0, data - 4), 4, 0), 2ll << 30, "");
    sparse("recorded.wav", set32(set32(good, 4, 0), data, 0), 2ll << 30, "");
    load();
    EXPECT_NE(log().find("unfilled.wav: no data chunk found in 64 MiB"), std::string::npos)
        << log();
    for (int track : {0, 1, 2, 3, 4, 5, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 23})
        EXPECT_EQ(pcm(track), stereo) << "track " << track;
    EXPECT_EQ(pcm(6), coarse);
    EXPECT_EQ(pcm(7), (std::vector<int16_t>{8192, 8192, -16384, -16384}));
    EXPECT_EQ(pcm(8), (std::vector<int16_t>{25073, 2896}));
    EXPECT_EQ(pcm(9), (std::vector<int16_t>{32767, -32768, 32767, -32768}));
    EXPECT_EQ(pcm(10), std::vector<int16_t>(stereo.begin(), stereo.end() - 2000));
    EXPECT_EQ(pcm(21), (std::vector<int16_t>{-5504, 5504, -5248, 5248, -32256, 32256, -8, 8, -688,
                                             688, -848, 848}));
    EXPECT_EQ(pcm(22), (std::vector<int16_t>{-32124, 32124, -31100, 31100, -5372, 5372, -716, 716,
                                             -120, 120, 0, 0}));
    const std::string logged = play_each(24);
    for (int i = 0; i < 7; ++i)
        EXPECT_NE(logged.find("placeholder" + std::to_string(i) + ".wav: the header's"),
                  std::string::npos)
            << logged;
    EXPECT_NE(logged.find("cut.wav: the file ends early"), std::string::npos) << logged;
    for (int track : {18, 19}) // 4-byte words, 64-bit sizes: a seek lands on its frame
        EXPECT_EQ(play_seeking(sp_playlist_track(playlist_at(0), track), 1000,
                               [&] { EXPECT_EQ(sp_session_player_seek(session, 30), 0); }),
                  spliced(stereo, 1000, 1323))
            << track;
    // The recording plays its samples, then the silence set aside to the
    // file's end: heard here from a second before it.
    const int64_t frames = 3000 + (int64_t{2} << 30) / 4;
    const int ms = static_cast<int>(frames * 1000 / 44100) - 1000;
    std::vector<int16_t> heard = stereo;
    heard.resize(static_cast<size_t>(2 * (3000 + frames - int64_t{ms} * 44100 / 1000)));
    EXPECT_EQ(play_seeking(sp_playlist_track(playlist_at(0), 25), 3000,
                           [&] { EXPECT_EQ(sp_session_player_seek(session, ms), 0); }),
              heard);
}

TEST_F(FileTracks, OtherRatesPassTheResamplerWithinItsFigures) {
    // Tones of amplitude 0.3 keep their level within 0.1 dB in the pass band;
    // what they would alias or image to stays 90 dB below them, whether the
    // filter's phases come from its table or are computed per frame.
    struct Case {
        int rate;
        std::vector<double> kept;  // Hz, in the pass band
        double above;              // Hz, a tone beyond the output's band or 0
        std::vector<double> quiet; // Hz where nothing may show
    };
    const Case cases[] = {
        {48000, {1000, 20000}, 22500, {44100 - 22500}},
        {22050, {1000, 10000}, 0, {22050 - 10000, 22050 - 1000, 22050 + 1000}},
        {96000, {1000, 20000}, 22500, {44100 - 22500, 96000 - 2 * 44100 + 1000}},
        // Ratios of more phases than the resampler tabulates (1225 and 11025).
        {47952, {1000, 20000}, 22500, {44100 - 22500}},
        {44056, {1000, 19000}, 0, {}},
    };
    int track = 0;
    for (const Case &c : cases) {
        const int frames = c.rate * 6 / 5;
        std::vector<double> mix(2 * static_cast<size_t>(frames), 0.0);
        std::vector<double> tones = c.kept;
        if (c.above > 0)
            tones.push_back(c.above);
        for (double hz : tones) {
            const std::vector<double> one = sine(c.rate, 2, hz, 0.3, frames);
            for (size_t i = 0; i < mix.size(); ++i)
                mix[i] += one[i];
        }
        add(std::to_string(c.rate) + ".wav", wav_bytes({c.rate, 2, 64, true}, mix));
    }
    load();
    const double tone_db = 20 * std::log10(0.3);
    for (const Case &c : cases) {
        const std::vector<int16_t> out = pcm(track++);
        ASSERT_EQ(out.size() / 2, (static_cast<size_t>(c.rate) * 6 / 5 * 44100 + c.rate - 1) /
                                      static_cast<size_t>(c.rate));
        for (double hz : c.kept)
            EXPECT_NEAR(music_test::level_db(out, 4410, hz), tone_db, 0.1) << c.rate << " " << hz;
        for (double hz : c.quiet)
            EXPECT_LT(music_test::level_db(out, 4410, hz), tone_db - 90) << c.rate << " " << hz;
        // Output frame n is input time n * rate / 44100, with no delay: what
        // differs from the kept tones at those instants is rounding alone.
        double error = 0.0;
        for (size_t n = 4410; n < 4410 + 44100; ++n) {
            double ideal = 0.0;
            for (double hz : c.kept)
                ideal += 0.3 * std::sin(2 * 3.14159265358979323846 * hz * static_cast<double>(n) /
                                        44100.0);
            const double e = out[2 * n] / 32768.0 - ideal;
            error += e * e;
        }
        EXPECT_LT(10 * std::log10(error / 44100), -99) << c.rate;
    }
}

TEST_F(FileTracks, FilesThatCannotBePlayedFailTheirTrack) {
    add("good.wav", wav_bytes({}, {0.5, 0.5}));
    add("noise.wav", std::string("RIFF\x04\x00\x00\x00WAVE", 12));
    add("bits.wav", wav_bytes({44100, 2, 12}, {}));
    add("empty.wav", "");
    add("text.mp3", "ID3 but nothing else");
    add("bad.ogg", "OggS and then nothing of use");
    lines += "track file missing.wav\n";
    load();
    for (const char *why : {"noise.wav: no format chunk", "bits.wav: sample format 1 with 12 bits",
                            "empty.wav: the file is empty", "missing.wav: cannot open the file",
                            "text.mp3: not an audio format", "bad.ogg: not a readable Ogg"})
        EXPECT_NE(log().find(why), std::string::npos) << log();
    log_in("me", "");
    sp_playlist *files = playlist_at(0);
    ASSERT_EQ(sp_playlist_num_tracks(files), 7);
    EXPECT_EQ(sp_track_error(sp_playlist_track(files, 0)), SP_ERROR_OK);
    for (int i = 1; i < 7; ++i) {
        EXPECT_EQ(sp_track_error(sp_playlist_track(files, i)), SP_ERROR_TRACK_NOT_PLAYABLE);
        EXPECT_EQ(sp_session_player_load(session, sp_playlist_track(files, i)),
                  SP_ERROR_TRACK_NOT_PLAYABLE);
    }
}

TEST_F(FileTracks, OggStreamsPlayEveryLinkAndTellWhereTheyStopEarly) {
    struct Case {
        const char *name;
        double seconds;  // what plays (0: refused)
        size_t cut_to;   // per mille of the file kept, 0: whole
        const char *log; // the start of its line in the log, after the name
        std::vector<OggLink> links;
    };
    // One 300 Hz sine at half scale throughout, in whole periods per link, so
    // that every link boundary is a smooth join in the file.
    const std::vector<Case> cases = {
        {"chained.ogg",
         1.0,
         0,
         "",
         {{44100, 2, 22050, 300, "Ana", "One", true}, {44100, 2, 22050, 300, "Bo", "Two"}}},
        {"rates.ogg",
         2.0,
         0,
         "",
         {{48000, 1, 24000}, {44100, 2, 22050}, {22050, 2, 11025}, {96000, 2, 48000}}},
        {"channels.ogg", 1.5, 0, "", {{44100, 1, 22050}, {44100, 2, 22050}, {44100, 1, 22050}}},
        {"cut.ogg", 2.4, 600, ": the file ends early", {{44100, 2, 176400}}},
        {"cut2.ogg", 2.5, 700, ": the file ends early", {{44100, 2, 44100}, {44100, 2, 220500}}},
        // The last link's setup header is a crafted one.
        {"crafted.ogg", 0, 0, ": the Ogg Vorbis setup header asks for codebooks larger", {{}}},
        {"crafted2.ogg", 0.5, 0, ": the Ogg Vorbis setup header asks", {{}, {.muxed = true}}},
    };
    for (const Case &c : cases) {
        std::string bytes = music_test::ogg_bytes(
            c.links, std::strstr(c.log, "setup header") ? music_test::huge_codebooks(256, 8388607)
                                                        : std::string());
        if (c.cut_to)
            bytes.resize(bytes.size() * c.cut_to / 1000);
        add(c.name, bytes);
    }
    load();
    const double step = 0.5 * 2 * 3.141592653589793 * 300 / 44100 * 32768; // the sine's steepest
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        const std::vector<int16_t> out = pcm(static_cast<int>(i));
        EXPECT_NEAR(static_cast<double>(out.size() / 2), c.seconds * 44100, c.cut_to ? 44100 : 2)
            << c.name;
        // No gap and no click: the steps stay those of the sine, everywhere.
        int largest = 0;
        for (size_t k = 2; k < out.size(); ++k)
            largest = std::max(largest, std::abs(out[k] - out[k - 2]));
        EXPECT_LT(largest, 1.6 * step) << c.name;
        // Every tenth of a second holds the tone at its level.
        for (size_t at = 0; at + 4410 <= out.size() / 2; at += 4410) {
            double power = 0;
            for (size_t k = 2 * at; k < 2 * (at + 4410); ++k)
                power += static_cast<double>(out[k]) * out[k];
            EXPECT_NEAR(std::sqrt(power / 8820) / 32768, 0.5 / std::sqrt(2.0), 0.02)
                << c.name << " at " << at;
        }
        // And the first second holds the tone at its pitch, and nothing else.
        if (out.size() >= 88200) {
            EXPECT_NEAR(music_test::level_db(out, 0, 300), 20 * std::log10(0.5), 0.2) << c.name;
            for (double hz : {150.0, 900.0, 1000.0, 15000.0})
                EXPECT_LT(music_test::level_db(out, 0, hz), -70) << c.name << " " << hz;
        }
    }
    const std::string logged = play_each(static_cast<int>(cases.size()));
    // A line for each file that is not whole, none for the others.
    for (const Case &c : cases)
        EXPECT_EQ(logged.find(std::string(c.name) + (*c.log ? c.log : ":")) != std::string::npos,
                  *c.log != 0)
            << logged;
    sp_track *chained = sp_playlist_track(playlist_at(0), 0);
    EXPECT_STREQ(sp_artist_name(sp_track_artist(chained, 0)), "Ana");
    EXPECT_STREQ(sp_track_name(chained), "One");
}

// Each channel, in the stream's order, carries a tone 100 Hz below the one
// before: the centre comes out in both at -3 dB, backs and sides on their
// side at -3 dB, a back centre at half, the LFE not at all. The last file is
// 5.1 after 0.1 s of stereo. (At 32 kHz: the encoder's 5.1 setup leaks at 44.1.)
TEST_F(FileTracks, OggChannelsFoldToStereoEachOnItsSide) {
    // Left, right, centre, a left or right back or side, back centre, LFE.
    const std::map<char, std::array<double, 2>> gains = {
        {'L', {1, 0}},      {'R', {0, 1}},      {'C', {0.7071, 0.7071}},
        {'l', {0.7071, 0}}, {'r', {0, 0.7071}}, {'b', {0.5, 0.5}},
        {'F', {0, 0}}};
    const std::string layouts[] = {"LCR",     "LRlr",     "LCRlr", "LCRlrF",
                                   "LCRlrbF", "LCRlrlrF", "LCRlrF"};
    const size_t last = std::size(layouts) - 1;
    for (size_t i = 0; i <= last; ++i) {
        std::vector<OggLink> links = {
            {32000, static_cast<int>(layouts[i].size()), 38400, 1000, "", "", false, -100, 0.2}};
        if (i == last)
            links.insert(links.begin(), {32000, 2, 3200});
        add(std::to_string(i) + ".ogg", music_test::ogg_bytes(links));
    }
    load();
    for (size_t i = 0; i <= last; ++i) {
        const std::vector<int16_t> out = pcm(static_cast<int>(i));
        const size_t lead = i == last ? 4410 : 0;
        ASSERT_EQ(out.size(), 2 * (52920 + lead));
        for (size_t c = 0; c < layouts[i].size(); ++c) {
            for (int side = 0; side < 2; ++side) { // a channel's tone on the left, the right
                const double gain = gains.at(layouts[i][c])[side];
                const double db =
                    music_test::level_db({out.begin() + side, out.end()}, lead, 1000 - 100.0 * c);
                if (gain > 0)
                    EXPECT_NEAR(db, 20 * std::log10(0.2 * gain), 0.3) << i << c << side;
                else
                    EXPECT_LT(db, -60) << i << c << side;
            }
        }
    }
}

// A seek before play, while refused, or after frames taken goes on exactly
// where playing from the start would be at that frame; past the end, the
// track ends. A chain of more links than a seek may read (1024) plays but
// tells no length, and a seek in it ends the track with the reason logged.
TEST_F(FileTracks, SeekGoesOnAtTheOffsetsFrameBitForBitAndDurationIsTheLength) {
    std::vector<double> noise; // no two frames alike
    for (uint32_t n = 0, x = 1; n < 2 * 66150; ++n, x = x * 1664525 + 1013904223)
        noise.push_back(static_cast<double>(x >> 16) / 32768.0 - 1.0);
    add("s16.wav", wav_bytes({}, noise));                                       // 1500 ms
    add("r48.wav", wav_bytes({48000, 2, 16}, sine(48000, 2, 440, 0.5, 57600))); // 1200 ms
    add("one.ogg", music_test::ogg_bytes({{44100, 2, 88200, 440}}));            // 2000 ms
    add("two.ogg", music_test::ogg_bytes({{44100, 2, 22050, 300}, {44100, 2, 44100, 500}}));
    add("mixed.ogg",
        music_test::ogg_bytes(
            {{48000, 1, 24000}, {44100, 2, 22050}, {22050, 2, 11025}, {44100, 1, 22050, 700}}));
    // one.ogg and two.ogg, each link with another stream's pages among its own.
    add("muxed.ogg", music_test::ogg_bytes({{44100, 2, 88200, 440, "", "", true}}));
    add("muxed-two.ogg", music_test::ogg_bytes({{44100, 2, 22050, 300, "", "", true},
                                                {44100, 2, 44100, 500, "", "", true}}));
    // Links of 10 ms, each as long as the others in bytes.
    const std::string more = music_test::ogg_bytes(std::vector<OggLink>(1025, {44100, 1, 441}));
    add("most.ogg", more.substr(0, more.size() / 1025 * 1024));
    add("more.ogg", more);
    std::string damaged = music_test::ogg_bytes({{44100, 2, 4410}, {44100, 2, 441000}});
    damaged[damaged.rfind("OggS", damaged.rfind("OggS") - 1) + 40] ^= 1; // the page before the last
    add("damaged.ogg", damaged);
    load();
    log_in("me", "");
    const int durations[] = {1500, 1200, 2000, 1500, 2000, 2000, 1500, 10240, 0};
    const struct {
        int taken;
        int ms;
    } seeks[] = {{-1, 1234}, {0, 501}, {30000, 3}, {4000, 777}, {100, 1499}, {0, 5000}};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(sp_track_duration(sp_playlist_track(playlist_at(0), i)), durations[i]) << i;
    EXPECT_EQ(pcm(5), pcm(2));
    EXPECT_EQ(pcm(6), pcm(3));
    for (int i = 0; i < 7; ++i) {
        const std::vector<int16_t> whole = pcm(i);
        for (const auto &s : seeks) {
            const std::vector<int16_t> got =
                play_seeking(sp_playlist_track(playlist_at(0), i), s.taken,
                             [&] { EXPECT_EQ(sp_session_player_seek(session, s.ms), 0); });
            EXPECT_EQ(got, spliced(whole, s.taken, int64_t{s.ms} * 44100 / 1000))
                << "track " << i << " after " << s.taken << " to " << s.ms << " ms";
        }
    }
    const auto seek_10s = [&](int track) {
        return play_seeking(sp_playlist_track(playlist_at(0), track), -1,
                            [&] { EXPECT_EQ(sp_session_player_seek(session, 10000), 0); });
    };
    EXPECT_EQ(seek_10s(7), spliced(pcm(7, 11), -1, 441000));
    EXPECT_EQ(log().find("seek"), std::string::npos) << log();
    EXPECT_EQ(log().find("muxed"), std::string::npos) << log();
    EXPECT_EQ(pcm(8).size(), size_t{2 * 441 * 1025});
    EXPECT_TRUE(seek_10s(8).empty());
    EXPECT_NE(log().find("more.ogg: cannot seek in the Ogg Vorbis stream: a chained Ogg stream of "
                         "more than 1024 links"),
              std::string::npos)
        << log();
    // A seek reading on through a link stops where it is once the player moves
    // on: held at its first step, then sought back to the start, it never reads
    // the damaged page on its way, which is noted once, when playing gets there.
    splocal_hold_delivery(session, 1);
    ASSERT_EQ(sp_session_player_load(session, sp_playlist_track(playlist_at(0), 9)), SP_ERROR_OK);
    EXPECT_EQ(sp_session_player_seek(session, 9900), SP_ERROR_OK);
    const int ends = rec.end_of_track.load();
    sp_session_player_play(session, 1);
    ASSERT_TRUE(wait_until([&] { return splocal_delivery_held(session) != 0; }));
    EXPECT_EQ(sp_session_player_seek(session, 0), SP_ERROR_OK);
    ASSERT_TRUE(wait_until([&] { return rec.end_of_track.load() == ends + 1; }));
    const std::string logged = log();
    EXPECT_NE(logged.find("damaged.ogg: a gap"), std::string::npos) << logged;
    EXPECT_EQ(logged.find("damaged.ogg: a gap"), logged.rfind("damaged.ogg: a gap")) << logged;
}

} // namespace
} // namespace lib_test
