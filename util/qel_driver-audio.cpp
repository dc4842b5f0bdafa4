// qel_driver-audio: the audio device, its sources and plays, and the mixing
// callback that SDL's audio thread runs.
#include "qel_driver-audio.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <stb_vorbis.h>

#include "qel_driver.h"
#include "qel_printf.h"

_SDL_audioData* _sdl_audio_data = nullptr;

// The work format: what every source yields and the callback mixes.
static const int _WORK_FREQ = 44100;
static const int _WORK_CHANNELS = 2;
// The highest rate a stream may have; no recording comes near it.
static const unsigned _MAX_STREAM_RATE = 768000;

_SDL_audioData::_SDL_audioData()
    : work{}, _want{}, have{}, sources(1, nullptr), peak(1.0f), memused(0), cvt{}, cvt_ok(false), cvt_spec{},
      prepared(-1) {}

// ---------------------------------------------------------------------------
// Vorbis headers

// stb_vorbis 1.22 takes the vendor and comment lengths of a file's comment
// header on trust: a damaged one makes it write outside its buffers or free
// pointers it never set. So before a file reaches it, the first two packets
// are put together from the Ogg pages as it reads them (the comment header
// starting on the second page, continued pages flagged as such) and every
// length in the comment header must lie inside the packet.
bool _driver_audio_vorbis_headers_ok(const void* mem, int len) {
    const unsigned char* p = (const unsigned char*)mem;
    size_t size = len > 0 ? (size_t)len : 0, at = 0;
    std::vector<unsigned char> packet;
    bool first = true, continuing = false;
    for (;;) {
        if (at + 27 > size || memcmp(p + at, "OggS", 4) != 0 || p[at + 4] != 0) return false;
        if (continuing && !(p[at + 5] & 1)) return false;
        size_t nseg = p[at + 26], data = at + 27 + nseg;
        if (data > size) return false;
        for (size_t i = 0; i < nseg; i++) {
            size_t n = p[at + 27 + i];
            if (data + n > size) return false;
            if (!first) packet.insert(packet.end(), p + data, p + data + n);
            data += n;
            if (n < 255 && !first) {
                // The comment header is complete.
                const unsigned char* c = packet.data();
                size_t m = packet.size(), pos = 7;
                if (m < 7 || c[0] != 3 || memcmp(c + 1, "vorbis", 6) != 0) return false;
                auto u32 = [&](uint32_t* v) {
                    if (pos + 4 > m) return false;
                    *v = c[pos] | c[pos + 1] << 8 | c[pos + 2] << 16 | (uint32_t)c[pos + 3] << 24;
                    pos += 4;
                    return true;
                };
                uint32_t vendor, count, length;
                if (!u32(&vendor) || vendor > m - pos) return false;
                pos += vendor;
                if (!u32(&count) || count > (m - pos) / 4) return false;
                for (uint32_t k = 0; k < count; k++) {
                    if (!u32(&length) || length > m - pos) return false;
                    pos += length;
                }
                return true;
            }
        }
        // The identification header fills the first page alone.
        first = false;
        continuing = !packet.empty();
        at = data;
    }
}

// stb_vorbis is given one block of memory and works inside it alone. Left to
// itself it mallocs, and leaks what it allocated when a damaged setup header
// makes it give up part-way, and it takes scratch space from the stack with
// sizes that come from the file. The block starts small and doubles while the
// decoder runs out, up to a ceiling far above what real files need.
stb_vorbis* _driver_audio_vorbis_open(const void* mem, int len, char** arena) {
    *arena = nullptr;
    if (!_driver_audio_vorbis_headers_ok(mem, len)) return nullptr;
    for (int size = 256 << 10; size <= 64 << 20; size *= 2) {
        char* block = (char*)malloc((size_t)size);
        if (!block) return nullptr;
        stb_vorbis_alloc alloc = {block, size};
        int error = 0;
        stb_vorbis* v = stb_vorbis_open_memory((const unsigned char*)mem, len, &error, &alloc);
        if (v) {
            *arena = block;
            return v;
        }
        free(block);
        if (error != VORBIS_outofmem) return nullptr;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Sources

int AudioSource::get_length() { return 0; }
void AudioSource::get_samples(int, int length, float* r, bool) {
    if (length > 0) memset(r, 0, (size_t)length * sizeof(float));
}
bool AudioSource::load() { return true; }
void AudioSource::unload() {}
AudioSource::~AudioSource() {}

AudioSourceMemory::AudioSourceMemory(int _len, const float* _data) : len(_len > 0 ? _len : 0), data(nullptr) {
    data = (float*)malloc((size_t)len * sizeof(float));
    if (!data) len = 0;
    if (len) memcpy(data, _data, (size_t)len * sizeof(float));
    _memused = len * 4;
    _driver_audio_memused(_memused);
}

AudioSourceMemory::~AudioSourceMemory() {
    free(data);
    _driver_audio_memused(-_memused);
}

int AudioSourceMemory::get_length() { return len; }

void AudioSourceMemory::get_samples(int start, int length, float* r, bool loop) {
    if (start < 0 || start >= len || length <= 0) return;
    for (;;) {
        int n = std::min(length, len - start);
        memcpy(r, data + start, (size_t)n * sizeof(float));
        if (!loop || n == length) return;
        r += n;
        length -= n;
        start = 0;
    }
}

AudioSourceVorbis::AudioSourceVorbis(const char* path)
    : fname{}, data(nullptr), arena(nullptr), file_mem(nullptr), len(0), _memused(0), channels(0), rate(0),
      resampler(nullptr), _failed(false) {
    // A path that does not fit is dropped whole: a shortened one could name
    // another file. Opening the empty path then fails like a missing file.
    if (strlen(path) < sizeof fname) strcpy(fname, path);
}

AudioSourceVorbis::~AudioSourceVorbis() { unload(); }

bool AudioSourceVorbis::load() {
    // Open already: a new play starts, and it starts at the beginning.
    if (data) {
        _rewind();
        return true;
    }
    _failed = true;
    QEL_LOG("_mixer: AudioSourceVorbis.load '%s' ...\n", fname);
    int size = 0;
    file_mem = driver_file_alloc(fname, &size);
    if (!file_mem) {
        QEL_LOG("_mixer: error in _stream_load_ogg '%s' (driver_file_alloc)\n", fname);
        return false;
    }
    data = _driver_audio_vorbis_open(file_mem, size, &arena);
    // The length is counted in stereo floats at 44100 Hz, which is what
    // get_samples delivers whatever the file's channels and rate. A length
    // beyond int (a damaged file can claim one) is refused, and so is a rate
    // that no recording has, which only a damaged file claims. So is a file
    // without a whole audio page (one cut short, or damaged there): its
    // length is unknown, reads as 0, and the stream would play nothing
    // without a word.
    bool usable = data != nullptr;
    uint64_t frames = 0;
    if (usable) {
        stb_vorbis_info info = stb_vorbis_get_info(data);
        channels = info.channels;
        rate = info.sample_rate;
        frames = stb_vorbis_stream_length_in_samples(data);
        usable = rate > 0 && rate <= _MAX_STREAM_RATE;
        if (usable) frames = frames * _WORK_FREQ / rate;
        usable = usable && frames > 0 && frames * 2 <= (uint64_t)INT_MAX;
    }
    if (!usable) {
        if (data) stb_vorbis_close(data);
        data = nullptr;
        free(arena);
        arena = nullptr;
        free(file_mem);
        file_mem = nullptr;
        QEL_LOG("_mixer: error in _stream_load_ogg '%s' (stb_vorbis_open_memory)\n", fname);
        return false;
    }
    // The resampler's memory is taken here, not while the stream plays.
    if (rate != (unsigned)_WORK_FREQ) {
        resampler = new Resampler();
        resample_init(resampler, rate, _WORK_FREQ);
    }
    len = (int)(frames * 2);
    _memused = size;
    _driver_audio_memused(_memused);
    _failed = false;
    return true;
}

void AudioSourceVorbis::unload() {
    // Stopping also forgets a failed open, so the next use tries again.
    _failed = false;
    if (!data) return;
    QEL_LOG("_mixer: AudioSourceVorbis.unload '%s' ...\n", fname);
    stb_vorbis_close(data);
    data = nullptr;
    free(arena);
    arena = nullptr;
    free(file_mem);
    file_mem = nullptr;
    delete resampler;
    resampler = nullptr;
    len = 0;
    _driver_audio_memused(-_memused);
    _memused = 0;
}

// Open, or opened once already without success since the last load() or
// unload(): a missing file is not read again on every buffer.
bool AudioSourceVorbis::_ready() {
    if (data) return true;
    if (_failed) return false;
    return load();
}

int AudioSourceVorbis::get_length() { return _ready() ? len : 0; }

void AudioSourceVorbis::_rewind() {
    stb_vorbis_seek_start(data);
    if (resampler) resample_reset(resampler);
}

// Decodes up to `frames` stereo frames into r; returns the frames written.
// stb_vorbis fills channels the file lacks with zeros, so a mono file is
// decoded as one channel and copied into both.
int AudioSourceVorbis::_decode(float* r, int frames) {
    if (channels != 1) return stb_vorbis_get_samples_float_interleaved(data, 2, r, frames * 2);
    int got = stb_vorbis_get_samples_float_interleaved(data, 1, r, frames);
    for (int i = got - 1; i >= 0; i--) {
        float x = r[i];
        r[2 * i] = x;
        r[2 * i + 1] = x;
    }
    return got;
}

// Decodes up to `frames` stereo frames into r, for a looping play on from
// the file's start whenever its end comes; returns the frames written. A
// file from whose start nothing decodes ends the read, which would never
// end otherwise.
int AudioSourceVorbis::_read(float* r, int frames, bool loop) {
    int done = _decode(r, frames);
    while (loop && done < frames && stb_vorbis_seek_start(data)) {
        int got = _decode(r + 2 * done, frames - done);
        if (got <= 0) break;
        done += got;
    }
    return done;
}

void AudioSourceVorbis::get_samples(int start, int length, float* r, bool loop) {
    if (!_ready() || start < 0 || start >= len || length <= 0) return;
    // The decoder, and the resampler's position, go on where the previous
    // buffer ended. A read for a play that does not loop ends at the end of
    // the file, and one from position 0 seeks back to the beginning. A
    // looping play decodes on through the file's end into its start, so the
    // resampler's filter and its phase run on across the seam: that play
    // started at the beginning (load()), and its position only counts where
    // each pass ends.
    if (!loop) {
        if (length > len - start) length = len - start;
        if (start == 0) _rewind();
    }
    int frames = length / 2;
    if (!resampler) {
        _read(r, frames, loop);
        return;
    }
    int done = 0;
    for (;;) {
        done += resample_output(resampler, r + 2 * done, frames - done);
        if (done >= frames) break;
        int space = 0;
        float* in = resample_input(resampler, &space);
        // Past the end of a play that does not loop, silence until its length.
        resample_commit(resampler, _read(in, space, loop));
    }
}

// ---------------------------------------------------------------------------
// Whole-file decoding

// Converts `len` bytes of audio into a new memory source in the work format.
// Null when SDL has no conversion for the format, or when a byte count would
// not fit an int (SDL's counts, and the source's, are ints).
static AudioSourceMemory* _driver_audio_convert(const Uint8* buf, size_t len, SDL_AudioFormat format,
                                                int channels, int freq) {
    SDL_AudioCVT cvt;
    if (channels <= 0 || channels > 255 ||
        SDL_BuildAudioCVT(&cvt, format, (Uint8)channels, freq, AUDIO_F32LSB, _WORK_CHANNELS, _WORK_FREQ) < 0 ||
        cvt.len_mult <= 0)
        return nullptr;
    size_t frame = (size_t)(SDL_AUDIO_BITSIZE(format) / 8) * (size_t)channels;
    if (frame == 0) return nullptr;
    len -= len % frame;
    if (len > (size_t)INT_MAX || len * (size_t)cvt.len_mult > (size_t)INT_MAX) return nullptr;
    size_t size = len * (size_t)cvt.len_mult;
    cvt.buf = (Uint8*)malloc(size ? size : 1);
    if (!cvt.buf) return nullptr;
    if (len) memcpy(cvt.buf, buf, len);
    cvt.len = (int)len;
    AudioSourceMemory* m = nullptr;
    if (SDL_ConvertAudio(&cvt) == 0) {
        // A float WAV can hold values that are no numbers; one of them would
        // turn the limiter's whole buffer into noise or silence. They sound
        // as silence instead.
        float* v = (float*)cvt.buf;
        for (int i = 0; i < cvt.len_cvt / 4; i++)
            if (!std::isfinite(v[i])) v[i] = 0;
        m = new AudioSourceMemory(cvt.len_cvt / 4, v);
    }
    free(cvt.buf);
    return m;
}

AudioSourceMemory* _driver_audio_sample_load_wav(const char* s) {
    SDL_AudioSpec spec;
    Uint8* buf = nullptr;
    Uint32 len = 0;
    AudioSourceMemory* m = nullptr;
    if (SDL_LoadWAV_RW(SDL_RWFromFile(s, "rb"), 1, &spec, &buf, &len)) {
        m = _driver_audio_convert(buf, len, spec.format, spec.channels, spec.freq);
        SDL_FreeWAV(buf);
    }
    if (!m) QEL_LOG("_mixer: error in _sample_load_wav '%s'\n", s);
    return m;
}

// The whole file as interleaved 16-bit samples, frame by frame as
// stb_vorbis_decode_memory does it, but inside the decoder's own block and
// refusing more audio than an int counts in bytes. False for a file that
// does not open or holds no audio.
static bool _driver_audio_vorbis_decode(const void* file, int size, int* channels, int* rate,
                                        std::vector<short>& pcm) {
    char* arena = nullptr;
    stb_vorbis* v = _driver_audio_vorbis_open(file, size, &arena);
    if (!v) return false;
    stb_vorbis_info info = stb_vorbis_get_info(v);
    *channels = info.channels;
    *rate = (int)std::min(info.sample_rate, (unsigned)INT_MAX);
    // A frame yields at most 4096 samples per channel.
    std::vector<short> frame((size_t)info.channels * 4096);
    bool fits = true;
    for (;;) {
        int n = stb_vorbis_get_frame_short_interleaved(v, info.channels, frame.data(), (int)frame.size());
        if (n <= 0) break;
        size_t got = (size_t)n * (size_t)info.channels;
        if ((pcm.size() + got) * sizeof(short) > (size_t)INT_MAX) {
            fits = false;
            break;
        }
        pcm.insert(pcm.end(), frame.begin(), frame.begin() + (ptrdiff_t)got);
    }
    stb_vorbis_close(v);
    free(arena);
    return fits && !pcm.empty();
}

AudioSourceMemory* _driver_audio_sample_load_ogg(const char* s) {
    int size = 0;
    void* file = driver_file_alloc(s, &size);
    if (!file) {
        QEL_LOG("_mixer: error in _sample_load_ogg '%s' (driver_file_alloc)\n", s);
        return nullptr;
    }
    int channels = 0, rate = 0;
    std::vector<short> pcm;
    bool decoded = _driver_audio_vorbis_decode(file, size, &channels, &rate, pcm);
    free(file);
    if (!decoded) {
        QEL_LOG("_mixer: error in _sample_load_ogg '%s' (stb_vorbis_decode_memory)\n", s);
        return nullptr;
    }
    // Converted from the file's own rate, so it plays at its own pitch.
    AudioSourceMemory* m =
        _driver_audio_convert((const Uint8*)pcm.data(), pcm.size() * sizeof(short), AUDIO_S16SYS, channels, rate);
    if (!m) QEL_LOG("_mixer: error in _sample_load_ogg '%s' (SDL_BuildAudioCVT)\n", s);
    return m;
}

// ---------------------------------------------------------------------------
// The device

static void _driver_audio_prepare(_SDL_audioData* a, int n);

void _driver_audio_init() {
    if (_sdl_audio_data) return;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) < 0) {
        QEL_LOG("_mixer: error in audio_init\n");
        return;
    }
    _SDL_audioData* a = new _SDL_audioData();
    a->work.freq = _WORK_FREQ;
    a->work.format = AUDIO_F32LSB;
    a->work.channels = _WORK_CHANNELS;
    a->_want.freq = 44100;
    a->_want.format = AUDIO_S16LSB;
    a->_want.channels = 2;
    a->_want.samples = 1024;
    a->_want.callback = _driver_audio_callback;
    a->_want.userdata = nullptr;
    _sdl_audio_data = a;
    if (SDL_OpenAudio(&a->_want, &a->have) < 0) {
        QEL_LOG("_mixer: error in audio_init\n");
        delete a;
        _sdl_audio_data = nullptr;
        // SDL's audio stays up until the driver stops: taking it down now
        // would wait for its device watcher thread (up to 0.1 s with ALSA) in
        // the middle of start-up. Sound devices that the watcher reports from
        // now on are kept from the game, which heard of none with the audio
        // taken down.
        SDL_SetEventFilter(
            [](void*, SDL_Event* e) -> int {
                return e->type != SDL_AUDIODEVICEADDED && e->type != SDL_AUDIODEVICEREMOVED;
            },
            nullptr);
        return;
    }
    int bytes = SDL_AUDIO_BITSIZE(a->have.format) / 8;
    if (bytes > 0) _driver_audio_prepare(a, (int)(a->have.size / (Uint32)bytes));
    QEL_LOG("_mixer: freq=%d, channels=%d, samples=%d\n", a->have.freq, a->have.channels, a->have.samples);
    QEL_LOG("_mixer: audio_init: OK\n");
    SDL_PauseAudio(0);
}

void _driver_audio_deinit() {
    _SDL_audioData* a = _sdl_audio_data;
    if (!a) {
        // What a failed open left up.
        if (SDL_WasInit(SDL_INIT_AUDIO)) SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return;
    }
    QEL_LOG("_mixer: audio_deinit ...\n");
    // The callback stops for good before any source goes.
    SDL_CloseAudio();
    for (size_t i = a->sources.size() - 1; i >= 1; i--) delete a->sources[i];
    delete a;
    _sdl_audio_data = nullptr;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    QEL_LOG("_mixer: audio_deinit: OK\n");
}

void _driver_audio_memused(int n) {
    _SDL_audioData* a = _sdl_audio_data;
    if (!a) return;
    unsigned long d = (unsigned long)(long)n;
    unsigned long total = a->memused.fetch_add(d) + d;
    QEL_LOG("_mixer->memused: %.2fM\n", total / 1048576.0);
}

// ---------------------------------------------------------------------------
// Loads and plays (main thread)

static int _driver_audio_add(AudioSource* src) {
    SDL_LockAudio();
    _sdl_audio_data->sources.push_back(src);
    int n = (int)_sdl_audio_data->sources.size() - 1;
    SDL_UnlockAudio();
    return n;
}

// Handles that no load gave are refused: the callback would index past the
// list of sources.
static bool _driver_audio_valid(int v) {
    return _sdl_audio_data && v >= 1 && (size_t)v < _sdl_audio_data->sources.size();
}

static void _driver_audio_remove(int v) {
    SDL_LockAudio();
    std::vector<AudioPlaying>& p = _sdl_audio_data->playing;
    p.erase(std::remove_if(p.begin(), p.end(), [v](const AudioPlaying& e) { return e.src == v; }), p.end());
    SDL_UnlockAudio();
}

static void _driver_audio_append(int v, float vol, float pan, int loop) {
    AudioPlaying p{};
    p.src = v;
    p.vol = vol;
    p.pan = pan;
    p.loop = loop;
    SDL_LockAudio();
    _sdl_audio_data->playing.push_back(p);
    SDL_UnlockAudio();
}

int driver_audio_sample_load(const char* s) {
    if (!_sdl_audio_data) return 0;
    AudioSourceMemory* m = strstr(s, ".ogg") ? _driver_audio_sample_load_ogg(s) : _driver_audio_sample_load_wav(s);
    if (!m) return 0;
    int n = _driver_audio_add(m);
    QEL_LOG("_mixer: sample_load %d (%s)\n", n, s);
    return n;
}

int driver_audio_stream_load(const char* s, bool) {
    if (!_sdl_audio_data) return 0;
    AudioSource* src = nullptr;
    if (strstr(s, ".ogg"))
        src = new AudioSourceVorbis(s);
    else
        src = _driver_audio_sample_load_wav(s);
    if (!src) return 0;
    int n = _driver_audio_add(src);
    QEL_LOG("_mixer: stream_load %d (%s)\n", n, s);
    return n;
}

void driver_audio_sample_play(int v, float vol, float pan) {
    if (_driver_audio_valid(v)) _driver_audio_append(v, vol, pan, 0);
}

void driver_audio_stream_play(int v, float vol, float) {
    if (!_driver_audio_valid(v)) return;
    QEL_LOG("_mixer: stream_play %d\n", v);
    _driver_audio_remove(v);
    // No play refers to the source now, so it opens outside the lock.
    _sdl_audio_data->sources[v]->load();
    _driver_audio_append(v, vol, 0.0f, 1);
}

void driver_audio_stream_stop(int v) {
    if (!_driver_audio_valid(v)) return;
    QEL_LOG("_mixer: stream_stop\n");
    _driver_audio_remove(v);
    _sdl_audio_data->sources[v]->unload();
}

void driver_audio_stream_volume(int v, float vol) {
    if (!_driver_audio_valid(v)) return;
    SDL_LockAudio();
    for (AudioPlaying& p : _sdl_audio_data->playing)
        if (p.src == v) p.vol = vol;
    SDL_UnlockAudio();
}

// Changed sound files are announced by the registry; the old audio plays on.
void driver_audio_sample_reload(int) {}
void driver_audio_stream_reload(int) {}
void driver_audio_loop() {}

// ---------------------------------------------------------------------------
// Mixing (audio thread)

void _driver_audio_mix(float* stream, int len, AudioPlaying* p, float* tmp) {
    float a = p->_vol, b = p->vol;
    if (a == 1.0f && b == 1.0f) {
        for (int i = 0; i < len; i++) stream[i] += tmp[i];
    } else if (a == b) {
        for (int i = 0; i < len; i++) stream[i] += tmp[i] * a;
    } else {
        float s = a, ds = (b - a) / (float)len;
        for (int i = 0; i < len; i++) {
            stream[i] += tmp[i] * s;
            s += ds;
        }
    }
    p->_vol = p->vol;
}

void _driver_audio_normalize(float* stream, int len) {
    _SDL_audioData* a = _sdl_audio_data;
    if (!a) return;
    float peak = 1.0f;
    for (int i = 0; i < len; i++) {
        float x = std::fabs(stream[i]);
        if (x > peak) peak = x;
    }
    float p1 = a->peak > peak ? a->peak : peak, p2 = peak;
    if (p1 == 1.0f && p2 == 1.0f) {
    } else if (p1 == p2) {
        float g = 1.0f / p1;
        for (int i = 0; i < len; i++) stream[i] *= g;
    } else {
        float s = 1.0f / p1, ds = (1.0f / p2 - 1.0f / p1) / (float)len;
        for (int i = 0; i < len; i++) {
            stream[i] *= s;
            s += ds;
        }
    }
    a->peak = p2;
}

// Makes the callback's conversion and buffers fit a device buffer of n
// values in the format `have`; does nothing when they already do.
static void _driver_audio_prepare(_SDL_audioData* a, int n) {
    const SDL_AudioSpec& h = a->have;
    bool same = a->prepared >= 0 && h.format == a->cvt_spec.format && h.channels == a->cvt_spec.channels &&
                h.freq == a->cvt_spec.freq;
    if (same && n <= a->prepared) return;
    if (!same) {
        a->cvt_ok = SDL_BuildAudioCVT(&a->cvt, a->work.format, a->work.channels, a->work.freq, h.format, h.channels,
                                      h.freq) >= 0 &&
                    a->cvt.len_mult > 0;
        a->cvt_spec = h;
    }
    n = std::max(n, std::max(a->prepared, 1));
    // The mix is converted where it lies. Its buffer has malloc's alignment
    // (a vector's storage comes from there), which matters: it decides where
    // SDL's vector conversion to 16 bits rounds and where it truncates.
    a->mixbuf.resize((size_t)n * (size_t)(a->cvt_ok ? a->cvt.len_mult : 1));
    a->scratch.resize((size_t)n);
    a->prepared = n;
}

void _driver_audio_callback(void*, Uint8* stream, int len) {
    if (len <= 0) return;
    memset(stream, 0, (size_t)len);
    _SDL_audioData* a = _sdl_audio_data;
    int bytes = a ? SDL_AUDIO_BITSIZE(a->have.format) / 8 : 0;
    if (bytes <= 0) return;
    int n = len / bytes;
    _driver_audio_prepare(a, n);
    float* mix = a->mixbuf.data();
    float* tmp = a->scratch.data();
    memset(mix, 0, (size_t)n * sizeof(float));
    for (int i = (int)a->playing.size() - 1; i >= 0; i--) {
        AudioPlaying& p = a->playing[(size_t)i];
        if (!p._init) {
            p._init = 1;
            p._vol = p.vol;
        }
        memset(tmp, 0, (size_t)n * sizeof(float));
        AudioSource* src = a->sources[(size_t)p.src];
        // A looping play fills the whole buffer, going on from the source's
        // first value after its last one (as many passes as the buffer
        // holds); any other play is silent after its last value and ends.
        src->get_samples(p.cur, n, tmp, p.loop != 0);
        _driver_audio_mix(mix, n, &p, tmp);
        long long next = (long long)p.cur + n, length = src->get_length();
        if (next < length)
            p.cur = (int)next;
        else if (p.loop)
            p.cur = length > 0 ? (int)(next % length) : 0;
        else
            a->playing.erase(a->playing.begin() + i);
    }
    _driver_audio_normalize(mix, n);

    if (!a->cvt_ok) return;
    a->cvt.buf = (Uint8*)mix;
    a->cvt.len = n * (int)sizeof(float);
    // A conversion shorter than the buffer leaves the rest silent.
    if (SDL_ConvertAudio(&a->cvt) == 0) memcpy(stream, a->cvt.buf, (size_t)std::min(a->cvt.len_cvt, len));
}
