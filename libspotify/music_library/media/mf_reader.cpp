// The system's decoder, Windows only: Media Foundation's source reader for
// the formats the library does not read itself (MP3, AAC/M4A, FLAC, WMA,
// ALAC, as far as the system has decoders for them).
//
// The source reader is asked for PCM (32-bit float, else 16-bit integer) at
// the file's own rate and channel count: some systems' readers refuse to
// convert rates, and the converter does that the same way everywhere. The
// file is read as it plays, one compressed packet's worth at a time.
//
// A seek asks the reader for a place a little before the frame wanted
// (kSeekLead), decodes from there and drops the frames before it by the
// decoded samples' times: the system's readers land on a packet boundary
// near the time asked, and decoders such as MP3's need a packet or two
// before the first one they give right. Where the reader lands after the
// frame, it is asked again from further back. The length comes from the
// source's duration (MF_PD_DURATION).
//
// Media Foundation is started by each decoder and shut down by its
// destructor, and COM's multithreaded apartment is kept for its life
// (CoIncrementMTAUsage): the player opens a file on one thread and plays it
// on another, and a thread that has not joined COM works in that apartment.
// Both calls count and neither belongs to a thread, so decoders on several
// threads share them safely. A thread whose COM apartment is
// single-threaded keeps it; the reader is used there only while the decoder
// stays on that thread.
#include <windows.h>

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <propsys.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <filesystem>
#include <vector>

#include "media/decoder.h"
#include "base/file_io.h"
#include "media/id3_tags.h"
#include "base/text_lines.h"

namespace music {
namespace {

// The property keys of a music file's artist and title.
const PROPERTYKEY kArtistKey = {
    {0x56A3372E, 0xCE9C, 0x11D2, {0x9F, 0x0E, 0x00, 0x60, 0x97, 0xC6, 0x86, 0xF6}}, 2};
const PROPERTYKEY kTitleKey = {
    {0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}}, 2};

constexpr DWORD kAudio = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
constexpr int64_t kUnitsPerSecond = 10000000; // Media Foundation's 100 ns
constexpr int kSeekLeadMs[] = {100, 1000, 5000};

// frames * per / unit without overflow, rounded down (all non-negative).
int64_t scale(int64_t value, int64_t per, int64_t unit) {
    return value / unit * per + value % unit * per / unit;
}

template <typename T> void release(T *&object) {
    if (object) {
        object->Release();
        object = nullptr;
    }
}

std::string hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::string utf8_of(const wchar_t *wide) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1)
        return {};
    std::string text(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), bytes, nullptr, nullptr);
    text.pop_back(); // the terminating zero
    return text;
}

// A tag's text from the property store: a string, or the first of a list.
std::string tag_text(IPropertyStore *store, const PROPERTYKEY &key) {
    PROPVARIANT value;
    PropVariantInit(&value);
    std::string text;
    if (SUCCEEDED(store->GetValue(key, &value))) {
        if (value.vt == VT_LPWSTR && value.pwszVal)
            text = utf8_of(value.pwszVal);
        else if (value.vt == (VT_VECTOR | VT_LPWSTR) && value.calpwstr.cElems > 0 &&
                 value.calpwstr.pElems[0])
            text = utf8_of(value.calpwstr.pElems[0]);
    }
    PropVariantClear(&value);
    if (text.size() > 1024 || utf8_invalid_at(text) != std::string::npos)
        return {};
    return text;
}

// COM's multithreaded apartment and Media Foundation for the life of one
// decoder, whichever threads it is used and released on.
class SystemScope {
    using MtaCookie = void *; // CO_MTA_USAGE_COOKIE, an opaque handle

public:
    SystemScope() {
        // Looked up: the headers declare it (and its cookie's type) only for
        // builds aimed at Windows 8 or later.
        using Increment = HRESULT(WINAPI *)(MtaCookie *);
        const auto increment = reinterpret_cast<Increment>(
            reinterpret_cast<void *>(GetProcAddress(ole32(), "CoIncrementMTAUsage")));
        status_ = increment ? increment(&mta_) : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
        if (SUCCEEDED(status_))
            status_ = MFStartup(MF_VERSION, MFSTARTUP_LITE);
        mf_ = SUCCEEDED(status_);
    }
    ~SystemScope() {
        if (mf_)
            MFShutdown();
        using Decrement = HRESULT(WINAPI *)(MtaCookie);
        const auto decrement = reinterpret_cast<Decrement>(
            reinterpret_cast<void *>(GetProcAddress(ole32(), "CoDecrementMTAUsage")));
        if (mta_ && decrement)
            decrement(mta_);
    }
    SystemScope(const SystemScope &) = delete;
    SystemScope &operator=(const SystemScope &) = delete;
    HRESULT status() const { return status_; }

private:
    static HMODULE ole32() {
        static const HMODULE module = GetModuleHandleW(L"ole32.dll");
        return module;
    }

    MtaCookie mta_ = nullptr;
    bool mf_ = false;
    HRESULT status_ = E_FAIL;
};

class SystemDecoder : public Decoder {
public:
    ~SystemDecoder() override { release(reader_); }

    // Opens the file and settles the output format. On failure says why.
    bool open(const std::string &path, std::string &why) {
        if (FAILED(scope_.status())) {
            why = "the system's decoders cannot start (" + hex(scope_.status()) + ")";
            return false;
        }
        // The file by its path, not as a URL, so that names with '#' or '%'
        // open as they are.
        std::error_code error;
        const std::filesystem::path full = std::filesystem::absolute(utf8_path(path), error);
        IMFByteStream *stream = nullptr;
        HRESULT hr = error ? E_INVALIDARG
                           : MFCreateFile(MF_ACCESSMODE_READ, MF_OPENMODE_FAIL_IF_NOT_EXIST,
                                          MF_FILEFLAGS_NONE, full.c_str(), &stream);
        if (FAILED(hr)) {
            why = "cannot open the file (" + hex(hr) + ")";
            return false;
        }
        hr = MFCreateSourceReaderFromByteStream(stream, nullptr, &reader_);
        release(stream); // the reader holds it now
        if (FAILED(hr)) {
            why = "not an audio format this system decodes (" + hex(hr) + ")";
            return false;
        }
        // Only the first audio stream is read (an album picture is not);
        // whether the first call succeeds does not matter, the second decides.
        reader_->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
        hr = reader_->SetStreamSelection(kAudio, TRUE);
        if (SUCCEEDED(hr))
            hr = ask_for_pcm();
        if (SUCCEEDED(hr))
            hr = take_format();
        if (FAILED(hr)) {
            why = failure_.empty() ? "no audio this system decodes (" + hex(hr) + ")" : failure_;
            return false;
        }
        read_duration();
        read_tags();
        if (tags_.artist.empty() && tags_.title.empty())
            read_tags_from_file(path);
        return true;
    }

    int read(double *out, int frames) override {
        const size_t channels = static_cast<size_t>(channels_);
        int done = 0;
        while (done < frames) {
            const size_t have = decoded_.size() - taken_;
            if (have == 0) {
                if (ended_ || !decode_more())
                    break;
                continue;
            }
            const size_t want = static_cast<size_t>(frames - done) * channels;
            const size_t count = have < want ? have : want;
            std::copy(decoded_.begin() + static_cast<std::ptrdiff_t>(taken_),
                      decoded_.begin() + static_cast<std::ptrdiff_t>(taken_ + count),
                      out + static_cast<size_t>(done) * channels);
            taken_ += count;
            done += static_cast<int>(count / channels);
        }
        return done;
    }

    std::vector<FileRun> runs() override {
        if (duration_ <= 0)
            return {};
        return {FileRun{scale(duration_, rate_, kUnitsPerSecond), rate_}};
    }

    bool seek(int64_t frame) override {
        if (frame < 0 || !failure_.empty())
            return false;
        for (const int lead : kSeekLeadMs) {
            int64_t from = frame - int64_t{lead} * rate_ / 1000;
            if (from < 0)
                from = 0;
            decoded_.clear();
            taken_ = 0;
            ended_ = false;
            PROPVARIANT at;
            PropVariantInit(&at);
            at.vt = VT_I8;
            at.hVal.QuadPart = scale(from, kUnitsPerSecond, rate_);
            const HRESULT hr = reader_->SetCurrentPosition(GUID_NULL, at);
            if (FAILED(hr)) {
                failure_ = "the system's decoder cannot seek (" + hex(hr) + ")";
                return false;
            }
            if (!decode_more())
                return failure_.empty(); // past the end: nothing to read
            // The first decoded frame, by its time (rounded to the nearest).
            const int64_t first = (decoded_time_ * rate_ + kUnitsPerSecond / 2) / kUnitsPerSecond;
            if (first > frame && from > 0 && lead != kSeekLeadMs[std::size(kSeekLeadMs) - 1])
                continue; // landed after the frame: from further back
            // Frames before the one wanted are dropped, packet by packet.
            const auto channels = static_cast<size_t>(channels_);
            for (int64_t drop = frame - first; drop > 0;) {
                const auto have = static_cast<int64_t>((decoded_.size() - taken_) / channels);
                if (drop < have) {
                    taken_ += static_cast<size_t>(drop) * channels;
                    break;
                }
                drop -= have;
                if (!decode_more())
                    return failure_.empty();
            }
            return true;
        }
        return false;
    }

private:
    // The source's duration, where it tells.
    void read_duration() {
        PROPVARIANT value;
        PropVariantInit(&value);
        if (SUCCEEDED(reader_->GetPresentationAttribute(
                static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE), MF_PD_DURATION, &value)) &&
            value.vt == VT_UI8 && value.uhVal.QuadPart < static_cast<ULONGLONG>(INT64_MAX))
            duration_ = static_cast<int64_t>(value.uhVal.QuadPart);
        PropVariantClear(&value);
    }

    // Float samples, else 16-bit integers, at the file's own rate and
    // channel count (both left for the reader to fill in from the file).
    HRESULT ask_for_pcm() {
        HRESULT hr = E_FAIL;
        for (const GUID &subtype : {MFAudioFormat_Float, MFAudioFormat_PCM}) {
            IMFMediaType *type = nullptr;
            hr = MFCreateMediaType(&type);
            if (SUCCEEDED(hr))
                hr = type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
            if (SUCCEEDED(hr))
                hr = type->SetGUID(MF_MT_SUBTYPE, subtype);
            if (SUCCEEDED(hr) && subtype == MFAudioFormat_PCM)
                hr = type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
            if (SUCCEEDED(hr))
                hr = reader_->SetCurrentMediaType(kAudio, nullptr, type);
            release(type);
            if (SUCCEEDED(hr))
                return hr;
        }
        return hr;
    }

    // The format the reader gives, as it says after the choice above.
    HRESULT take_format() {
        IMFMediaType *type = nullptr;
        HRESULT hr = reader_->GetCurrentMediaType(kAudio, &type);
        GUID subtype = GUID_NULL;
        UINT32 rate = 0, channels = 0, bits = 0;
        if (SUCCEEDED(hr))
            hr = type->GetGUID(MF_MT_SUBTYPE, &subtype);
        if (SUCCEEDED(hr))
            hr = type->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate);
        if (SUCCEEDED(hr))
            hr = type->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels);
        if (SUCCEEDED(hr))
            hr = type->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits);
        UINT32 mask = 0;
        if (SUCCEEDED(hr) && FAILED(type->GetUINT32(MF_MT_AUDIO_CHANNEL_MASK, &mask)))
            mask = 0;
        release(type);
        if (FAILED(hr))
            return hr;
        const bool is_float = subtype == MFAudioFormat_Float && bits == 32;
        if ((!is_float && !(subtype == MFAudioFormat_PCM && bits == 16)) || channels < 1 ||
            channels > static_cast<UINT32>(kMaxFileChannels) ||
            rate < static_cast<UINT32>(kMinFileRate) || rate > static_cast<UINT32>(kMaxFileRate)) {
            failure_ = "the system decodes it to " + std::to_string(channels) + " channels of " +
                       std::to_string(bits) + "-bit samples at " + std::to_string(rate) + " Hz";
            return E_FAIL;
        }
        if (rate_ != 0 && (static_cast<int>(rate) != rate_ ||
                           static_cast<int>(channels) != channels_ || is_float != float_)) {
            failure_ = "the audio's format changes midway";
            return E_FAIL;
        }
        float_ = is_float;
        rate_ = static_cast<int>(rate);
        channels_ = static_cast<int>(channels);
        mask_ = std::popcount(mask) == channels_ ? mask : default_channel_mask(channels_);
        return S_OK;
    }

    // Artist and title where the system's reader of the format offers them.
    void read_tags() {
        IPropertyStore *store = nullptr;
        if (FAILED(reader_->GetServiceForStream(static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE),
                                                MF_PROPERTY_HANDLER_SERVICE, IID_PPV_ARGS(&store))))
            return; // Wine's readers, for one, offer none
        tags_.artist = tag_text(store, kArtistKey);
        tags_.title = tag_text(store, kTitleKey);
        release(store);
    }

    // An MP3's ID3v2 tag, read by the library itself where the system's
    // reader offers no tags.
    void read_tags_from_file(const std::string &path) {
        std::FILE *file = open_file(path, "rb");
        if (!file)
            return;
        FileTags id3;
        if (read_id3_tags(file, id3))
            tags_ = id3;
        std::fclose(file);
    }

    // Decodes the next packet into decoded_. False at the end of the audio
    // or when the file turned bad (failure_ then says why).
    bool decode_more() {
        decoded_.clear();
        taken_ = 0;
        // Packets without audio (stream ticks) are passed over, a bounded
        // number of times in a row.
        for (int empty = 0; empty < 64; ++empty) {
            DWORD flags = 0;
            LONGLONG time = 0;
            IMFSample *sample = nullptr;
            const HRESULT hr = reader_->ReadSample(kAudio, 0, nullptr, &flags, &time, &sample);
            if (FAILED(hr) || (flags & MF_SOURCE_READERF_ERROR)) {
                failure_ = "the system's decoder stopped (" + hex(FAILED(hr) ? hr : E_FAIL) + ")";
                release(sample);
                ended_ = true;
                return false;
            }
            if ((flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) && FAILED(take_format())) {
                release(sample);
                ended_ = true;
                return false;
            }
            const bool added = sample && append(sample);
            if (added)
                decoded_time_ = time;
            release(sample);
            if (!failure_.empty() || (flags & MF_SOURCE_READERF_ENDOFSTREAM)) {
                ended_ = true;
                return added && failure_.empty();
            }
            if (added)
                return true;
        }
        failure_ = "the system's decoder gives no audio";
        ended_ = true;
        return false;
    }

    // The sample's whole frames, as doubles; false when it holds none.
    bool append(IMFSample *sample) {
        IMFMediaBuffer *buffer = nullptr;
        BYTE *data = nullptr;
        DWORD length = 0;
        HRESULT hr = sample->ConvertToContiguousBuffer(&buffer);
        if (SUCCEEDED(hr))
            hr = buffer->Lock(&data, nullptr, &length);
        if (FAILED(hr)) {
            failure_ = "the system's decoder gave no readable audio (" + hex(hr) + ")";
            release(buffer);
            return false;
        }
        const size_t bytes = float_ ? 4 : 2;
        const size_t frame_bytes = bytes * static_cast<size_t>(channels_);
        const size_t samples = length / frame_bytes * static_cast<size_t>(channels_);
        decoded_.resize(samples);
        for (size_t i = 0; i < samples; ++i) {
            if (float_) {
                float value;
                std::memcpy(&value, data + i * 4, 4);
                decoded_[i] = std::isfinite(value) ? value : 0.0;
            } else {
                int16_t value;
                std::memcpy(&value, data + i * 2, 2);
                decoded_[i] = value / 32768.0;
            }
        }
        buffer->Unlock();
        release(buffer);
        return samples > 0;
    }

    SystemScope scope_; // first made, last gone: the reader is released before it
    IMFSourceReader *reader_ = nullptr;
    bool float_ = false;
    bool ended_ = false;
    int64_t duration_ = 0;        // 100 ns units; 0: not known
    int64_t decoded_time_ = 0;    // the time of decoded_'s first frame, 100 ns units
    std::vector<double> decoded_; // the packet being read out
    size_t taken_ = 0;            // samples of decoded_ already given
};

} // namespace

std::unique_ptr<Decoder> open_system_decoder(const std::string &path, std::string &why) {
    auto decoder = std::make_unique<SystemDecoder>();
    if (!decoder->open(path, why))
        return nullptr;
    return decoder;
}

} // namespace music
