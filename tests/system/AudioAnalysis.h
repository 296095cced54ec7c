// Checks of recorded or captured PCM that the recording, playback and soak
// tests share: decoding, level, frequency by zero crossings, the phase of a
// steady tone fragment by fragment (a lost or repeated fragment shifts it),
// second differences at fragment boundaries, and which of several tones is
// sounding. Header-only and free of platform headers, so the checks
// themselves are unit tested natively on synthetic signals.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

namespace audio_check {

constexpr double Pi = 3.14159265358979323846;

struct Pcm {
    uint16_t channels = 1;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    std::vector<uint8_t> data;

    uint32_t BlockAlign() const { return uint32_t(bits / 8) * channels; }
    size_t Frames() const { return BlockAlign() ? data.size() / BlockAlign() : 0; }
};

// One channel as values in [-1, 1): 8-bit unsigned, 16- and 24-bit signed
// little-endian.
inline std::vector<double> Channel(const Pcm& pcm, unsigned channel) {
    const size_t frames = pcm.Frames();
    const unsigned bytes = pcm.bits / 8;
    std::vector<double> out(frames);
    for (size_t i = 0; i < frames; ++i) {
        const uint8_t* p = pcm.data.data() + i * pcm.BlockAlign() + channel * bytes;
        double v = 0;
        if (bytes == 1) {
            v = (int(p[0]) - 128) / 128.0;
        } else if (bytes == 2) {
            v = int16_t(uint16_t(p[0] | (p[1] << 8))) / 32768.0;
        } else if (bytes == 3) {
            int32_t s = int32_t(p[0]) | (int32_t(p[1]) << 8) | (int32_t(p[2]) << 16);
            if (s & 0x800000) s -= 0x1000000;
            v = s / 8388608.0;
        }
        out[i] = v;
    }
    return out;
}

// One quantisation step of a depth, in the units of Channel.
inline double Step(uint16_t bits) { return bits == 8 ? 1 / 128.0 : bits == 16 ? 1 / 32768.0 : 1 / 8388608.0; }

inline double Peak(const std::vector<double>& x, size_t from = 0, size_t to = size_t(-1)) {
    double peak = 0;
    for (size_t i = from; i < std::min(to, x.size()); ++i) peak = std::max(peak, std::fabs(x[i]));
    return peak;
}

inline double Rms(const std::vector<double>& x, size_t from, size_t to) {
    to = std::min(to, x.size());
    if (to <= from) return 0;
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += x[i] * x[i];
    return std::sqrt(sum / double(to - from));
}

// Frequency from upward zero crossings (with a hysteresis of a tenth of the
// peak, so noise around zero is not counted), timed by linear interpolation
// between the first and the last crossing. 0 when fewer than two are found.
inline double ZeroCrossingFrequency(const std::vector<double>& x, uint32_t rate) {
    const double h = 0.1 * Peak(x);
    if (h <= 0) return 0;
    bool armed = false;
    double first = -1, last = -1;
    size_t count = 0;
    for (size_t n = 1; n < x.size(); ++n) {
        if (x[n] < -h) armed = true;
        if (armed && x[n - 1] < 0 && x[n] >= 0) {
            const double t = double(n - 1) + (-x[n - 1]) / (x[n] - x[n - 1]);
            if (count == 0) first = t;
            last = t;
            ++count;
            armed = false;
        }
    }
    if (count < 2) return 0;
    return double(count - 1) * rate / (last - first);
}

struct Block {
    double phase;      // radians, of the tone against a reference started at frame 0
    double amplitude;  // of the tone in the block
};

// The tone's phase and amplitude in consecutive blocks of blockFrames frames
// (a trailing part block is left out), by correlation with a complex
// reference oscillator of the given frequency.
inline std::vector<Block> Blocks(const std::vector<double>& x, uint32_t rate, double hz, size_t blockFrames) {
    std::vector<Block> blocks;
    if (blockFrames == 0) return blocks;
    const double w = 2 * Pi * hz / rate;
    for (size_t start = 0; start + blockFrames <= x.size(); start += blockFrames) {
        std::complex<double> sum = 0;
        for (size_t n = start; n < start + blockFrames; ++n) {
            sum += x[n] * std::polar(1.0, -w * double(n));
        }
        sum *= 2.0 / double(blockFrames);
        blocks.push_back({std::arg(sum), std::abs(sum)});
    }
    return blocks;
}

inline double Wrap(double a) {
    while (a > Pi) a -= 2 * Pi;
    while (a < -Pi) a += 2 * Pi;
    return a;
}

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// Boundaries k (between block k - 1 and block k) where the tone's phase
// steps by more than toleranceDeg beyond the usual step between blocks. A
// steady tone advances by the same amount every block; a lost or repeated
// block of a 441 Hz tone in 50 ms blocks moves it by 18 degrees.
inline std::vector<size_t> PhaseJumps(const std::vector<Block>& blocks, double toleranceDeg) {
    std::vector<size_t> jumps;
    if (blocks.size() < 3) return jumps;
    std::vector<double> steps;
    for (size_t k = 1; k < blocks.size(); ++k) steps.push_back(Wrap(blocks[k].phase - blocks[k - 1].phase));
    const double usual = Median(steps);
    const double tolerance = toleranceDeg * Pi / 180;
    for (size_t k = 1; k < blocks.size(); ++k) {
        if (std::fabs(Wrap(steps[k - 1] - usual)) > tolerance) jumps.push_back(k);
    }
    return jumps;
}

// Blocks whose tone is weaker or stronger than the median block by more than
// the given fraction (silence or garbage in place of a fragment).
inline std::vector<size_t> UnevenBlocks(const std::vector<Block>& blocks, double fraction) {
    std::vector<size_t> uneven;
    std::vector<double> amplitudes;
    for (const Block& b : blocks) amplitudes.push_back(b.amplitude);
    const double usual = Median(amplitudes);
    for (size_t k = 0; k < blocks.size(); ++k) {
        if (std::fabs(blocks[k].amplitude - usual) > fraction * usual) uneven.push_back(k);
    }
    return uneven;
}

// For a sine of angular step w, x[n+1] - 2 cos(w) x[n] + x[n-1] is 0; a
// discontinuity makes it large. Returns the boundaries k * blockFrames at
// which it exceeds the threshold on either of the two frames touching the
// boundary.
inline std::vector<size_t> SecondDifferenceJumps(const std::vector<double>& x, uint32_t rate, double hz,
                                                 size_t blockFrames, double threshold) {
    std::vector<size_t> jumps;
    const double c = 2 * std::cos(2 * Pi * hz / rate);
    auto residual = [&](size_t n) { return std::fabs(x[n + 1] - c * x[n] + x[n - 1]); };
    for (size_t b = blockFrames; b + 1 < x.size(); b += blockFrames) {
        if (residual(b - 1) > threshold || residual(b) > threshold) jumps.push_back(b / blockFrames);
    }
    return jumps;
}

// The largest second-difference residual away from the boundaries: what the
// signal's own noise gives.
inline double InteriorResidual(const std::vector<double>& x, uint32_t rate, double hz, size_t blockFrames) {
    const double c = 2 * std::cos(2 * Pi * hz / rate);
    double worst = 0;
    for (size_t n = 1; n + 1 < x.size(); ++n) {
        const size_t inBlock = n % blockFrames;
        if (inBlock == 0 || inBlock == blockFrames - 1) continue;
        worst = std::max(worst, std::fabs(x[n + 1] - c * x[n] + x[n - 1]));
    }
    return worst;
}

// Power of one frequency in x[from, from + length) (Goertzel).
inline double TonePower(const std::vector<double>& x, size_t from, size_t length, uint32_t rate, double hz) {
    const double c = 2 * std::cos(2 * Pi * hz / rate);
    double s1 = 0, s2 = 0;
    for (size_t n = from; n < from + length && n < x.size(); ++n) {
        const double s = x[n] + c * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return (s1 * s1 + s2 * s2 - c * s1 * s2) / double(length * length);
}

// Which of the tones sounds in consecutive windows: the index of the
// strongest, or -1 where the window is quieter than minRms.
inline std::vector<int> DominantTones(const std::vector<double>& x, uint32_t rate, const std::vector<double>& tones,
                                      size_t window, size_t hop, double minRms) {
    std::vector<int> out;
    for (size_t from = 0; from + window <= x.size(); from += hop) {
        if (Rms(x, from, from + window) < minRms) {
            out.push_back(-1);
            continue;
        }
        int best = -1;
        double bestPower = 0;
        for (size_t t = 0; t < tones.size(); ++t) {
            const double p = TonePower(x, from, window, rate, tones[t]);
            if (p > bestPower) {
                bestPower = p;
                best = int(t);
            }
        }
        out.push_back(best);
    }
    return out;
}

struct Run {
    int tone;       // -1: quiet
    size_t length;  // in windows
};

// Runs of equal values, leaving out runs shorter than minLength (the mixed
// windows at a change of tone) and merging what then touches.
inline std::vector<Run> Runs(const std::vector<int>& values, size_t minLength) {
    std::vector<Run> raw;
    for (int v : values) {
        if (!raw.empty() && raw.back().tone == v) ++raw.back().length;
        else raw.push_back({v, 1});
    }
    std::vector<Run> runs;
    for (const Run& r : raw) {
        if (r.length < minLength) continue;
        if (!runs.empty() && runs.back().tone == r.tone) runs.back().length += r.length;
        else runs.push_back(r);
    }
    return runs;
}

}  // namespace audio_check
