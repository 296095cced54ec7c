#include "view/LiveMeters.h"

#include <cmath>

#include "sound/SampleCodec.h"

float OverloadHold[2][3] = {{0, 0, 0}, {0, 0, 0}};
int VuLevel[3] = {0, 0, 0};

namespace {

// Thresholds a sample value must pass (strictly) to light a lamp: red marks
// clipping, orange and yellow warn earlier. The negative side of the red
// threshold sits one step lower because full scale is one step further
// below zero than above it.
struct Thresholds {
    double above[3];  // indexed by OverloadLamp
    double below[3];
};

const Thresholds* ThresholdsFor(uint16_t bitsPerSample) {
    static const Thresholds eight = {{88.5, 114, 126.99}, {-88.5, -114, -127.99}};
    static const Thresholds sixteen = {{22936.5, 29490, 32763}, {-22936.5, -29490, -32764}};
    static const Thresholds twentyFour = {{0.7, 0.89999, 0.9999}, {-0.7, -0.89999, -0.9999}};
    switch (bitsPerSample) {
    case 8: return &eight;
    case 16: return &sixteen;
    case 24: return &twentyFour;
    default: return nullptr;
    }
}

// Full scale of the VU meter: the largest positive sample value.
double FullScale(uint16_t bitsPerSample) {
    switch (bitsPerSample) {
    case 8: return 127.0;
    case 16: return 32767.0;
    case 24: return 1.0;
    default: return 0.0;
    }
}

constexpr int VuLamps = 15;

}  // namespace

unsigned OverloadBits(double value, uint16_t bitsPerSample) {
    const Thresholds* t = ThresholdsFor(bitsPerSample);
    if (!t) return 0;
    unsigned bits = 0;
    for (int lamp = LampYellow; lamp <= LampRed; ++lamp) {
        if (value > t->above[lamp] || value < t->below[lamp]) bits |= 1u << lamp;
    }
    return bits;
}

int VuTargetLevel(double rms, uint16_t bitsPerSample) {
    const double fullScale = FullScale(bitsPerSample);
    if (fullScale == 0.0) return 0;
    // Twice the RMS against full scale: a full-scale sine (RMS 0.707 of
    // full scale) or anything louder lights every lamp.
    const double share = std::fmin(1.0, 2.0 * rms / fullScale);
    return int(std::round(VuLamps * share));
}

int VuFall(int current, int target) {
    if (current - target <= 1) return target;
    // A tenth of the difference per frame; truncating the new level (not the
    // step) makes every fall at least one lamp.
    return int(current - (current - target) * 0.1);
}

void NoteOverload(int channel, double value, uint16_t bitsPerSample) {
    if (channel < 0 || channel > 1) return;
    const unsigned bits = OverloadBits(value, bitsPerSample);
    for (int lamp = LampYellow; lamp <= LampRed; ++lamp) {
        if (bits & (1u << lamp)) OverloadHold[channel][lamp] = OverloadHoldFrames;
    }
}

void DecayOverloadHolds(int channels) {
    const int drawn = channels == 2 ? 2 : 1;
    for (int c = 0; c < drawn; ++c) {
        for (float& hold : OverloadHold[c]) {
            if (hold > 0) hold -= 1;
        }
    }
}

bool OverloadLit(int channel, OverloadLamp lamp) {
    if (channel < 0 || channel > 1) return false;
    return OverloadHold[channel][lamp] > 0;
}

double BlockRms(const uint8_t* data, uint32_t fragmentSize, uint16_t channels, uint16_t bitsPerSample,
                int channel) {
    if (!data || (channels != 1 && channels != 2) || channel < 0 || channel >= channels) return 0.0;
    if (bitsPerSample != 8 && bitsPerSample != 16 && bitsPerSample != 24) return 0.0;
    const unsigned sampleBytes = bitsPerSample / 8;
    const unsigned frameBytes = sampleBytes * channels;
    const uint32_t frames = fragmentSize / frameBytes;
    if (frames == 0) return 0.0;

    const uint8_t* p = data + channel * sampleBytes;
    double sum = 0.0;
    for (uint32_t f = 0; f < frames; ++f, p += frameBytes) {
        double v;
        if (bitsPerSample == 8) v = DecodeSample8(p);
        else if (bitsPerSample == 16) v = DecodeSample16(p);
        else v = Sample24ToDouble(p);
        sum += v * v;
    }
    // The mean square over the frames read (for a block of whole frames the
    // same as sum / bytes x frame size).
    return std::sqrt(sum / frames);
}
