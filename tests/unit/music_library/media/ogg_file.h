// Ogg Vorbis files made in the tests with the reference encoder: chained
// links of tones in any format, and streams with a setup header of the
// test's own making.
#ifndef TESTS_UNIT_MUSIC_OGG_FILE_H
#define TESTS_UNIT_MUSIC_OGG_FILE_H

#include <cmath>
#include <string>
#include <vector>

#include <vorbis/vorbisenc.h>

namespace music_test {

struct OggLink {
    int rate = 44100;
    int channels = 2;
    int frames = 22050;
    double hz = 300; // a sine at `level` in every channel, at hz + c * step in channel c
    std::string artist = {};
    std::string title = {};
    bool muxed = false; // another stream's pages first, then after each of the Vorbis stream's
    double step = 0;
    double level = 0.5;
};

inline void put_page(const ogg_page &page, std::string &out) {
    out.append(reinterpret_cast<const char *>(page.header), static_cast<size_t>(page.header_len));
    out.append(reinterpret_cast<const char *>(page.body), static_cast<size_t>(page.body_len));
}

// A page of one packet of the other stream.
inline void other_page(ogg_stream_state &other, std::string &out, bool last) {
    static unsigned char frame[] = "a frame of another kind";
    ogg_packet p{frame, sizeof frame, other.packetno == 0, last, other.packetno, other.packetno};
    ogg_stream_packetin(&other, &p);
    ogg_page page;
    while (ogg_stream_flush(&other, &page))
        put_page(page, out);
}

// The pages of `os` so far, each followed by one of `other` when given.
inline void append_pages(ogg_stream_state &os, std::string &out, bool flush,
                         ogg_stream_state *other = nullptr) {
    ogg_page page;
    while (flush ? ogg_stream_flush(&os, &page) : ogg_stream_pageout(&os, &page)) {
        put_page(page, out);
        if (other)
            other_page(*other, out, ogg_page_eos(&page));
    }
}

// The links one after the other, each its own logical stream; `setup`, when
// given, replaces the last link's setup header (and then no audio follows).
inline std::string ogg_bytes(const std::vector<OggLink> &links, const std::string &setup = {}) {
    std::string out;
    int serial = 1;
    for (const OggLink &link : links) {
        vorbis_info vi;
        vorbis_info_init(&vi);
        vorbis_encode_init_vbr(&vi, link.channels, link.rate, 0.4f);
        vorbis_comment vc;
        vorbis_comment_init(&vc);
        for (const auto &[tag, text] : {std::pair{"ARTIST", link.artist}, {"TITLE", link.title}})
            if (!text.empty())
                vorbis_comment_add_tag(&vc, tag, text.c_str());
        vorbis_dsp_state vd;
        vorbis_block vb;
        vorbis_analysis_init(&vd, &vi);
        vorbis_block_init(&vd, &vb);
        ogg_stream_state os, other;
        ogg_stream_init(&os, serial++);
        ogg_stream_init(&other, serial + 1000);
        ogg_stream_state *mux = link.muxed ? &other : nullptr;
        if (mux)
            other_page(other, out, false);
        ogg_packet id, comments, code;
        vorbis_analysis_headerout(&vd, &vc, &id, &comments, &code);
        const bool crafted = !setup.empty() && &link == &links.back();
        if (crafted) {
            code.packet = reinterpret_cast<unsigned char *>(const_cast<char *>(setup.data()));
            code.bytes = static_cast<long>(setup.size());
        }
        for (ogg_packet *p : {&id, &comments, &code})
            ogg_stream_packetin(&os, p);
        append_pages(os, out, true, mux);
        if (!crafted) {
            float **in = vorbis_analysis_buffer(&vd, link.frames);
            for (int f = 0; f < link.frames; ++f) {
                for (int c = 0; c < link.channels; ++c)
                    in[c][f] = static_cast<float>(
                        link.level *
                        std::sin(6.283185307179586 * (link.hz + c * link.step) * f / link.rate));
            }
            vorbis_analysis_wrote(&vd, link.frames);
            vorbis_analysis_wrote(&vd, 0); // the end of the link
            ogg_packet packet;
            while (vorbis_analysis_blockout(&vd, &vb) == 1) {
                vorbis_analysis(&vb, nullptr);
                vorbis_bitrate_addblock(&vb);
                while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                    ogg_stream_packetin(&os, &packet);
                    append_pages(os, out, false, mux);
                }
            }
        }
        append_pages(os, out, true, mux);
        ogg_stream_clear(&other);
        ogg_stream_clear(&os);
        vorbis_block_clear(&vb);
        vorbis_dsp_clear(&vd);
        vorbis_comment_clear(&vc);
        vorbis_info_clear(&vi);
    }
    return out;
}

// A setup header of `books` codebooks of `entries` entries each (dim 1, all
// of one length, no values), then nothing valid: a small packet that asks
// the decoder for books * entries bytes and more.
inline std::string huge_codebooks(int books, long entries) {
    oggpack_buffer b;
    oggpack_writeinit(&b);
    oggpack_write(&b, 5, 8);
    for (const char c : std::string("vorbis"))
        oggpack_write(&b, static_cast<unsigned char>(c), 8);
    oggpack_write(&b, static_cast<unsigned long>(books - 1), 8);
    int length = 1; // every entry at the length that holds them all
    while ((1L << length) < entries)
        ++length;
    int bits = 0;
    for (long v = entries; v; v >>= 1)
        ++bits;
    for (int i = 0; i < books; ++i) {
        oggpack_write(&b, 0x564342, 24);
        oggpack_write(&b, 1, 16);
        oggpack_write(&b, static_cast<unsigned long>(entries), 24);
        oggpack_write(&b, 1, 1); // ordered
        oggpack_write(&b, static_cast<unsigned long>(length - 1), 5);
        oggpack_write(&b, static_cast<unsigned long>(entries), bits);
        oggpack_write(&b, 0, 4); // no values
    }
    oggpack_write(&b, 0xFFFFFFFF, 32);
    std::string packet(reinterpret_cast<const char *>(oggpack_get_buffer(&b)),
                       static_cast<size_t>(oggpack_bytes(&b)));
    oggpack_writeclear(&b);
    return packet;
}

} // namespace music_test

#endif
