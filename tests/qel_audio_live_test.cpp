// The live mixing callback on SDL's audio thread (the dummy driver, which
// calls it in real time) while the main thread plays, stops and changes
// volumes, including a Vorbis stream that the audio thread opens itself.
// Built with ThreadSanitizer too (./test.sh, build-tsan/).
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "audio_fixtures.h"
#include "capture.h"
#include "qel_driver-audio.h"
#include "qel_driver.h"
#include "tempdir.h"
#include "time_limit.h"

namespace {

// Reads the open decoder of a Vorbis source as the callback leaves it.
bool vorbis_open(int n) {
    SDL_LockAudio();
    bool open = static_cast<AudioSourceVorbis*>(_sdl_audio_data->sources[(size_t)n])->data != nullptr;
    SDL_UnlockAudio();
    return open;
}

size_t plays() {
    SDL_LockAudio();
    size_t n = _sdl_audio_data->playing.size();
    SDL_UnlockAudio();
    return n;
}

// Waits up to 10 s (times the tree's factor) for the callback to make cond
// true.
template <typename F>
bool wait_for(F cond) {
    for (int waited = 0; waited <= time_limit_ms(10000); waited += 10) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

TEST(AudioLive, MainThreadChangesWhileTheCallbackMixes) {
    TempDir dir;
    write_file(dir.file("a.wav"), wav_file(WAV_PCM, 16, 2, 22050, wav_data_s16(pcm_sine(2205, 2, 22050, 440, 0.4))));
    ASSERT_TRUE(ogg_encode(dir.file("music.ogg"), pcm_sine(22050, 2, 44100, 330, 0.4), 2, 44100));
    ASSERT_TRUE(ogg_encode(dir.file("low.ogg"), pcm_sine(11025, 1, 22050, 220, 0.4), 1, 22050));
    setenv("SDL_AUDIODRIVER", "dummy", 1);

    std::string log = capture_stdout([&] {
        driver_init(DRIVER_AUDIO);
        ASSERT_NE(_sdl_audio_data, nullptr);
        int a = driver_audio_sample_load(dir.file("a.wav").c_str());
        int music = driver_audio_stream_load(dir.file("music.ogg").c_str(), false);
        int low = driver_audio_stream_load(dir.file("low.ogg").c_str(), false);
        int gone = driver_audio_stream_load(dir.file("gone.ogg").c_str(), false);
        ASSERT_EQ(a * 1000 + music * 100 + low * 10 + gone, 1234);

        // The callback runs: a short sample ends and is removed.
        driver_audio_sample_play(a, 1, 0);
        ASSERT_TRUE(wait_for([] { return plays() == 0; }));

        for (int round = 0; round < 4; round++) {
            // A play of a closed stream: the audio thread opens it.
            driver_audio_sample_play(low, 0.5f, 0);
            driver_audio_stream_play(music, 0.8f, 0);
            driver_audio_stream_play(gone, 1, 0);
            ASSERT_TRUE(wait_for([&] { return vorbis_open(low); })) << "round " << round;
            for (int i = 0; i < 40; i++) {
                driver_audio_sample_play(a, 0.1f * (i % 10), 0);
                driver_audio_stream_volume(music, (i % 5) / 4.0f);
                if (i % 13 == 0) driver_audio_stream_play(music, 1, 0);
                if (i % 17 == 0) driver_audio_stream_stop(gone);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            driver_audio_stream_stop(low);
            driver_audio_stream_stop(music);
            EXPECT_FALSE(vorbis_open(low));
            EXPECT_FALSE(vorbis_open(music));
        }
        driver_deinit();
    });
    EXPECT_EQ(_sdl_audio_data, nullptr);
    EXPECT_NE(log.find("_mixer: AudioSourceVorbis.load '" + dir.file("low.ogg") + "' ..."), std::string::npos) << log;
    EXPECT_NE(log.find("_mixer: audio_deinit: OK"), std::string::npos) << log;
}
