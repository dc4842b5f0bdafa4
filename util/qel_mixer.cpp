// qel_mixer: the sample and stream registries, their file lookup and their
// change check.
#include "qel_mixer.h"

#include <cstdio>
#include <iterator>

#include "qel_driver-audio.h"
#include "qel_driver.h"

_MixerData* _mixer = nullptr;

void mixer_init() {
    delete _mixer;
    _mixer = new _MixerData();
}

// The driver's sources stay: the driver frees them when the device closes.
void mixer_deinit() {
    delete _mixer;
    _mixer = nullptr;
}

void mixer_loop() { driver_audio_loop(); }

// No decoder here reads ".mp3", ".aac", ".caf" or ".raw": a name is still
// looked up under each of them, and such a file goes to the WAV reader, which
// refuses it unless it holds WAV data.
const char* _mixer_find(const char* _name) {
    static const char* const suffixes[] = {"", ".wav", ".ogg", ".mp3", ".aac", ".caf", ".raw"};
    char buf[512];
    const char* found = driver_data_find(buf, sizeof buf, _name, suffixes, 7);
    return found ? driver_data_fname(found) : nullptr;
}

static int _mixer_driver_stream_load(const char* path) { return driver_audio_stream_load(path, false); }

// Finds and loads the file of a name not yet in a registry: the driver's
// index, with the resolved path and its stamp in fname and mtime. `kind` is
// "sample" or "stream" in the lines printed.
static int _mixer_load_file(const char* name, const char* kind, int (*load)(const char*), char (&fname)[512],
                            FileStamp* mtime) {
    const char* path = _mixer_find(name);
    if (!path) {
        fprintf(stderr, "unable to find %s %s\n", kind, name);
        return 0;
    }
    fprintf(stderr, "doing load %s %s\n", kind, name);
    snprintf(fname, sizeof fname, "%s", path);
    *mtime = driver_file_stamp(fname);
    return load(fname);
}

int mixer_sample_load(const char* name) {
    if (!_mixer) return 0;
    auto it = _mixer->sample_map.find(name);
    if (it != _mixer->sample_map.end()) return it->second.n;
    fprintf(stderr, ":: trying load sample %s\n", name);
    MixerSample e;
    e.n = _mixer_load_file(name, "sample", driver_audio_sample_load, e.sample_fname, &e.sample_mtime);
    _mixer->sample_map.emplace(name, e);
    return e.n;
}

int mixer_stream_load(const char* name) {
    if (!_mixer) return 0;
    auto it = _mixer->stream_map.find(name);
    if (it != _mixer->stream_map.end()) return it->second.n;
    fprintf(stderr, "trying load stream %s\n", name);
    MixerStream e;
    e.n = _mixer_load_file(name, "stream", _mixer_driver_stream_load, e.stream_fname, &e.stream_mtime);
    _mixer->stream_map.emplace(name, e);
    return e.n;
}

void mixer_sample_play(int v, float vol, float pan) { driver_audio_sample_play(v, vol, pan); }
bool mixer_sample_valid(int v) {
    if (!_mixer || v <= 0) return false;
    for (const auto& kv : _mixer->sample_map)
        if (kv.second.n == v) return true;
    return false;
}

void mixer_stream_play(int v, float vol) { driver_audio_stream_play(v, vol, 0.0f); }
void mixer_stream_stop(int v) { driver_audio_stream_stop(v); }
void mixer_stream_volume(int v, float vol) { driver_audio_stream_volume(v, vol); }

// Announces a changed file and keeps its new stamp, so it is announced once
// per change. The clock is read again for every file.
static void _mixer_check(const char* fname, FileStamp* mtime, const char* kind, int n, void (*reload)(int)) {
    if (!fname[0]) return;
    FileStamp t = driver_file_stamp(fname);
    if (watch_changed(t, *mtime, watch_now_ns())) {
        fprintf(stderr, "%s reload: %s\n", kind, fname);
        reload(n);
        *mtime = t;
    }
}

// An entry without a path is a name for which no file was found.
void mixer_forget_missing() {
    if (!_mixer) return;
    auto& samples = _mixer->sample_map;
    for (auto it = samples.begin(); it != samples.end();)
        it = it->second.sample_fname[0] ? std::next(it) : samples.erase(it);
    auto& streams = _mixer->stream_map;
    for (auto it = streams.begin(); it != streams.end();)
        it = it->second.stream_fname[0] ? std::next(it) : streams.erase(it);
}

void mixer_reload_auto() {
    if (!_mixer || !watch_due(&_mixer->watch, watch_now())) return;
    for (auto& kv : _mixer->sample_map)
        _mixer_check(kv.second.sample_fname, &kv.second.sample_mtime, "sample", kv.second.n,
                     driver_audio_sample_reload);
    for (auto& kv : _mixer->stream_map)
        _mixer_check(kv.second.stream_fname, &kv.second.stream_mtime, "stream", kv.second.n,
                     driver_audio_stream_reload);
}
