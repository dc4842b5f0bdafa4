// qel_mixer: the sample and stream registry: gives sounds names.
//
// A name is looked up once in the data directories under a fixed list of
// suffixes and loaded once by the audio driver; from then on the name gives
// the driver's sound index (0 for a name without a file or with a file that
// did not load, which is remembered too: a name without a file until the
// registry is told to forget it). Samples and streams have separate
// registries that share the driver's index space. Once per second
// (qel_watch) the registry looks for sound files that changed and announces
// them.
// Main thread only.
#ifndef QEL_MIXER_H
#define QEL_MIXER_H

#include <ctime>
#include <map>
#include <string>

#include "qel_watch.h"

struct MixerSample {
    int n;                  // the driver's sound index, 0: none
    char sample_fname[512]; // resolved path, empty when no file was found
    FileStamp sample_mtime; // the file's stamp at load or at the last announced change
    explicit MixerSample(int n = 0) : n(n), sample_fname{}, sample_mtime() {}
};

struct MixerStream {
    int n;
    char stream_fname[512];
    FileStamp stream_mtime;
    explicit MixerStream(int n = 0) : n(n), stream_fname{}, stream_mtime() {}
};

struct _MixerData {
    std::map<std::string, MixerSample> sample_map;  // by the name as requested
    std::map<std::string, MixerStream> stream_map;
    Watch watch{};                                  // the change check's last check
};

extern _MixerData* _mixer;

void mixer_init();
void mixer_deinit();
void mixer_loop();

// The resolved path of the first data file of name + suffix that exists, or
// null; it points into the driver's path buffer.
const char* _mixer_find(const char* _name);

int mixer_sample_load(const char* name);
int mixer_stream_load(const char* name);
void mixer_sample_play(int v, float vol, float pan);
// Whether v is a sound index that mixer_sample_load handed out (never 0).
bool mixer_sample_valid(int v);
void mixer_stream_play(int v, float vol);
void mixer_stream_stop(int v);
void mixer_stream_volume(int v, float vol);

// The change check, run every frame; works at most once per wall-clock second.
void mixer_reload_auto();
// Drops the names for which no file was found, so that their next request
// looks for their files again. Found files keep their entries and indices,
// also those the driver could not load. The mod runtime calls it at each
// reload of the mod.
void mixer_forget_missing();

#endif
