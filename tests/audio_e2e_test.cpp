// The real executable plays a generated WAV through SDL's disk audio driver:
// the sample's values are found in the device's output file. The driver
// writes in real time, and more slowly on a busy machine: the program runs
// until the output holds the whole sample and the silence after it, and is
// then asked to quit (SIGTERM, which SDL turns into a quit event).
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include <SDL.h>
#include <gtest/gtest.h>

#include "audio_fixtures.h"
#include "child.h"
#include "tempdir.h"
#include "time_limit.h"

TEST(AudioE2E, SampleReachesTheDeviceOutput) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "needs the X server of the test run (DISPLAY)";
    TempDir dir;
    make_dir(dir.file("appdata"));
    // A quarter second, stereo 44100 Hz: a cosine on the left and a rising
    // ramp on the right, neither starting at 0.
    const int frames = 11025;
    std::vector<int16_t> pcm = pcm_sine(frames + 25, 1, 44100, 441, 0.6);
    std::vector<int16_t> wav;
    for (int i = 0; i < frames; i++) {
        wav.push_back(pcm[(size_t)i + 25]);
        wav.push_back((int16_t)(-15000 + 2 * i));
    }
    write_file(dir.file("tone.wav"), wav_file(WAV_PCM, 16, 2, 44100, wav_data_s16(wav)));
    write_file(dir.file("main.lua"), "frames = 0\n"
                                     "function _loop()\n"
                                     "  frames = frames + 1\n"
                                     "  if frames == 3 then qel_sample_play('tone', 1) end\n"
                                     "end\n");
    std::string raw = dir.file("out.raw");
    Child c = child_start({QEL_BINARY_DIR "/borlix2", "-mod", dir.file("main.lua")},
                          {"SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + raw,
                           "APPDATA=" + dir.file("appdata"), "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent"},
                          dir.file("log.txt"));
    // The output so far, and where the sound starts in it (its size when silent).
    std::vector<int16_t> out;
    size_t start = 0;
    auto output = [&] {
        std::string bytes = path_exists(raw) ? read_file(raw) : "";
        out.resize(bytes.size() / 2);
        if (!out.empty()) memcpy(out.data(), bytes.data(), out.size() * 2);
        start = 0;
        while (start < out.size() && out[start] == 0) start++;
    };
    for (int waited = 0; waited <= time_limit_ms(30000) && child_running(c); waited += 20) {
        output();
        if (start < out.size() && out.size() - start >= wav.size() + 2048) break;
        usleep(20000);
    }
    kill(c.pid, SIGTERM);
    ASSERT_EQ(child_wait(c, 30000), 0) << read_file(dir.file("log.txt"));
    std::string log = read_file(dir.file("log.txt"));
    EXPECT_NE(log.find("_mixer: sample_load 1 (" + dir.file("tone.wav") + ")"), std::string::npos) << log;

    // What the mix should give: SDL's own conversions to float and back.
    std::vector<int16_t> want(wav);
    std::vector<float> f(want.size());
    SDL_AudioCVT cvt;
    SDL_BuildAudioCVT(&cvt, AUDIO_S16LSB, 2, 44100, AUDIO_F32LSB, 2, 44100);
    std::vector<Uint8> buf(want.size() * 2 * (size_t)cvt.len_mult);
    memcpy(buf.data(), want.data(), want.size() * 2);
    cvt.buf = buf.data();
    cvt.len = (int)(want.size() * 2);
    SDL_ConvertAudio(&cvt);
    SDL_BuildAudioCVT(&cvt, AUDIO_F32LSB, 2, 44100, AUDIO_S16LSB, 2, 44100);
    cvt.buf = buf.data();
    cvt.len = (int)(want.size() * 4);
    SDL_ConvertAudio(&cvt);
    memcpy(want.data(), buf.data(), want.size() * 2);

    output();
    ASSERT_LT(start, out.size()) << "the output is silent (" << out.size() * 2 << " bytes)";
    EXPECT_EQ(start % 2048, 0u) << "a sound starts at the start of a device buffer";
    ASSERT_GE(out.size() - start, want.size() + 2048) << "the output ends inside the sample";
    for (size_t i = 0; i < want.size(); i++) ASSERT_NEAR(out[start + i], want[i], 1) << "value " << i;
    // Then silence again.
    for (size_t i = want.size(); i < want.size() + 2048; i++) ASSERT_EQ(out[start + i], 0) << "value " << i;
}
