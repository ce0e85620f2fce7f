// The floor for sound: SECONDS of the demo catalogue's audio (or of the
// catalogue file CATALOGUE's tracks, in order) played on the wave-out device
// with eight buffers of 1024 frames in flight, refilled as they come back,
// and nothing else.
//
//   waveout_floor SECONDS [CATALOGUE]

#include <libspotify/local.h>

#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char **argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    constexpr int kRate = 44100, kChunk = 1024, kBuffers = 8;
    if (argc > 2) {
        if (splocal_load_file(argv[2]) != 0) {
            std::printf("cannot read the catalogue %s\n", argv[2]);
            return 1;
        }
    } else {
        splocal_load_demo();
    }
    const size_t frames = static_cast<size_t>(seconds) * kRate;
    std::vector<int16_t> audio;
    for (int track = 0; audio.size() < frames * 2; ++track) {
        const int count = splocal_track_pcm(track, nullptr, 0);
        if (count <= 0) {
            if (track > 1000)
                return 1;
            continue;
        }
        const size_t at = audio.size();
        audio.resize(at + size_t(count) * 2);
        splocal_track_pcm(track, &audio[at], count);
    }
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, kRate, kRate * 4, 4, 16, 0};
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(event), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        std::printf("no sound device\n");
        return 1;
    }
    std::vector<int16_t> blocks(size_t{kBuffers} * kChunk * 2);
    WAVEHDR headers[kBuffers] = {};
    size_t next = 0;
    const auto fill = [&](int i) {
        if (next + kChunk > frames)
            return false;
        int16_t *data = &blocks[size_t(i) * kChunk * 2];
        std::memcpy(data, &audio[next * 2], kChunk * 4);
        next += kChunk;
        headers[i] = WAVEHDR{};
        headers[i].lpData = reinterpret_cast<LPSTR>(data);
        headers[i].dwBufferLength = kChunk * 4;
        waveOutPrepareHeader(device, &headers[i], sizeof(WAVEHDR));
        waveOutWrite(device, &headers[i], sizeof(WAVEHDR));
        return true;
    };
    for (int i = 0; i < kBuffers; ++i)
        fill(i);
    for (bool more = true; more;) {
        WaitForSingleObject(event, INFINITE);
        for (int i = 0; i < kBuffers && more; ++i) {
            if (headers[i].dwFlags & WHDR_DONE) {
                waveOutUnprepareHeader(device, &headers[i], sizeof(WAVEHDR));
                more = fill(i);
            }
        }
    }
    return 0;
}
