// qel_driver-resample: windowed-sinc rate conversion that carries its
// position from one piece of audio to the next.
#include "qel_driver-resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

// The filter: a Kaiser-windowed sinc that passes 90 % of the lower Nyquist
// frequency within 0.001 dB and stops everything above it by 80 dB. It
// reaches over at most _HALF_MAX input frames on each side; files above
// about 225 kHz, which would need more, get a wider transition band instead
// (at 384 kHz the passband ends near 18 kHz, at 768 kHz near 14.5 kHz).
static const double _PASSBAND = 0.9;
static const double _STOPBAND_DB = 80;
static const int _HALF_MAX = 256;
// The filter's rows per input frame; weights between two rows are
// interpolated.
static const int _PHASES = 256;
// Room for input beyond what one output frame needs.
static const int _PIECE = 1024;

// The modified Bessel function of the first kind and order 0, by its series.
static double _bessel_i0(double x) {
    double sum = 1, term = 1, q = x * x / 4;
    for (int k = 1; k < 100 && term > sum * 1e-15; k++) {
        term *= q / ((double)k * k);
        sum += term;
    }
    return sum;
}

void resample_init(Resampler* r, unsigned in_rate, unsigned out_rate) {
    r->in_rate = in_rate;
    r->out_rate = out_rate;
    // Frequencies in cycles per input frame: the lower Nyquist frequency,
    // the transition band from the passband's edge to it, and the cutoff in
    // its middle. The Kaiser design rules give the window's shape and the
    // filter's length from the attenuation and the transition's width.
    const double nyquist = 0.5 * std::min(1.0, (double)out_rate / in_rate);
    const double transition = std::max((1 - _PASSBAND) * nyquist, (_STOPBAND_DB - 7.95) / (14.36 * 2 * _HALF_MAX));
    const double fc = nyquist - transition / 2, beta = 0.1102 * (_STOPBAND_DB - 8.7);
    r->half = std::min((int)std::ceil((_STOPBAND_DB - 7.95) / (14.36 * transition) / 2), _HALF_MAX);
    r->phases = _PHASES;
    const int taps = 2 * r->half;
    // Row p holds the weights of input frames pos - half + 1 ... pos + half
    // for an output time p / phases of a frame past pos. Each row sums to 1,
    // so a constant passes unchanged whatever the phase.
    r->table.assign((size_t)(r->phases + 1) * (size_t)taps, 0.0f);
    std::vector<double> w((size_t)taps);
    const double i0_beta = _bessel_i0(beta);
    for (int p = 0; p <= r->phases; p++) {
        double f = (double)p / r->phases, sum = 0;
        for (int i = 0; i < taps; i++) {
            double t = (i - r->half + 1) - f, x = 2 * fc * t, edge = t / r->half;
            double sinc = x == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
            w[(size_t)i] = sinc * _bessel_i0(beta * std::sqrt(std::max(0.0, 1 - edge * edge))) / i0_beta;
            sum += w[(size_t)i];
        }
        float* row = &r->table[(size_t)p * (size_t)taps];
        for (int i = 0; i < taps; i++) row[i] = (float)(w[(size_t)i] / sum);
    }
    r->in.assign((size_t)(taps + _PIECE) * 2, 0.0f);
    resample_reset(r);
}

void resample_reset(Resampler* r) {
    // The frames before the first are silence.
    r->in_count = r->half - 1;
    std::fill(r->in.begin(), r->in.begin() + 2 * r->in_count, 0.0f);
    r->pos = r->half - 1;
    r->frac = 0;
    r->ended = false;
    r->end = 0;
}

int resample_output(Resampler* r, float* out, int frames) {
    const int taps = 2 * r->half;
    const unsigned step = r->in_rate / r->out_rate, rest = r->in_rate % r->out_rate;
    int n = 0;
    while (n < frames && r->pos + r->half < r->in_count) {
        if (r->ended && r->pos - r->half + 1 >= r->end) {
            // Nothing but the silence after the end reaches this far.
            memset(out + 2 * n, 0, (size_t)(frames - n) * 2 * sizeof(float));
            return frames;
        }
        uint64_t at = (uint64_t)r->frac * (uint64_t)r->phases;
        const float* a = &r->table[(size_t)(at / r->out_rate) * (size_t)taps];
        const float* b = a + taps;
        const float mu = (float)(at % r->out_rate) / (float)r->out_rate;
        const float* x = &r->in[(size_t)(r->pos - r->half + 1) * 2];
        // Two taps at a time, into four sums (left and right of each), so
        // that the additions need not wait on one another.
        float sum[4] = {0, 0, 0, 0};
        for (int i = 0; i < taps; i += 2) {
            float w0 = a[i] + mu * (b[i] - a[i]), w1 = a[i + 1] + mu * (b[i + 1] - a[i + 1]);
            sum[0] += x[2 * i] * w0;
            sum[1] += x[2 * i + 1] * w0;
            sum[2] += x[2 * i + 2] * w1;
            sum[3] += x[2 * i + 3] * w1;
        }
        out[2 * n] = sum[0] + sum[2];
        out[2 * n + 1] = sum[1] + sum[3];
        n++;
        r->pos += (int)step;
        r->frac += rest;
        if (r->frac >= r->out_rate) {
            r->frac -= r->out_rate;
            r->pos++;
        }
    }
    return n;
}

float* resample_input(Resampler* r, int* frames) {
    int drop = std::min(std::max(r->pos - r->half + 1, 0), r->in_count);
    if (drop > 0) {
        memmove(r->in.data(), r->in.data() + 2 * drop, (size_t)(r->in_count - drop) * 2 * sizeof(float));
        r->in_count -= drop;
        r->pos -= drop;
        r->end -= drop;
    }
    *frames = (int)(r->in.size() / 2) - r->in_count;
    return r->in.data() + 2 * r->in_count;
}

void resample_commit(Resampler* r, int frames) {
    const int capacity = (int)(r->in.size() / 2);
    if (frames > 0) {
        r->in_count = std::min(r->in_count + frames, capacity);
        return;
    }
    if (!r->ended) {
        r->ended = true;
        r->end = r->in_count;
    }
    std::fill(r->in.begin() + 2 * r->in_count, r->in.end(), 0.0f);
    r->in_count = capacity;
}
