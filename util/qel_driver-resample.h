// qel_driver-resample: the rate conversion of streamed sound: interleaved
// stereo floats from a file's rate to the mix rate, fed and drained piece by
// piece, keeping its position between pieces.
//
// Output frame j lies at input frame j * in_rate / out_rate, kept as a whole
// frame and a remainder counted in 1/out_rate, so however the audio is cut
// into pieces, no fraction of a frame is lost and a stream never drifts from
// its own clock. Each output frame is a windowed-sinc interpolation of the
// input around that time, low-passed below the lower of the two Nyquist
// frequencies. All memory is taken by resample_init; the other calls
// allocate nothing.
//
//     Resampler r;
//     resample_init(&r, 48000, 44100);
//     resample_reset(&r);                     // time 0, silence before it
//     while (more output wanted) {
//         int n = resample_output(&r, out, frames);   // what the input allows
//         ...
//         int space;
//         float* in = resample_input(&r, &space);     // room for input frames
//         resample_commit(&r, decode(in, space));     // 0 at the end
//     }
#ifndef QEL_DRIVER_RESAMPLE_H
#define QEL_DRIVER_RESAMPLE_H

#include <vector>

struct Resampler {
    unsigned in_rate, out_rate;
    int half;                   // input frames on each side of an output frame
    int phases;                 // rows of the filter table per input frame
    std::vector<float> table;   // phases + 1 rows of 2 * half weights
    std::vector<float> in;      // buffered input, stereo frames
    int in_count;               // frames in `in`
    int pos;                    // index in `in` of the frame at or before the output time
    unsigned frac;              // how far past it, in 1/out_rate of a frame
    bool ended;                 // the input has ended: silence follows
    int end;                    // then: index in `in` of the first frame of that silence
};

// Sets r up for the two rates (both above 0) and resets it.
void resample_init(Resampler* r, unsigned in_rate, unsigned out_rate);
// Back to time 0, with silence before the first input frame.
void resample_reset(Resampler* r);
// Writes up to `frames` output frames into out, as far as the buffered input
// reaches; returns how many it wrote.
int resample_output(Resampler* r, float* out, int frames);
// Where the next input frames go, after dropping those no output needs any
// more; *frames is set to how many fit, more than a thousand once
// resample_output has written all that it could.
float* resample_input(Resampler* r, int* frames);
// Takes in `frames` frames written at the place resample_input gave; 0 (or
// less) says the input has ended, and silence follows it for ever.
void resample_commit(Resampler* r, int frames);

#endif
