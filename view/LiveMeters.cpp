#include "view/LiveMeters.h"

#include <cmath>

#include "sound/DepthScale.h"
#include "sound/SampleCodec.h"

float OverloadHold[2][3] = {{0, 0, 0}, {0, 0, 0}};
int VuLevel[3] = {0, 0, 0};

namespace {

// The levels a sample value must pass (strictly, either way) to light the
// warning lamps, yellow first, then orange. The red lamp lights where the
// graph marks clipping.
struct WarningLevels {
    double yellow, orange;
};

const WarningLevels* WarningLevelsFor(uint16_t bitsPerSample) {
    static const WarningLevels eight = {88.5, 114};
    static const WarningLevels sixteen = {22936.5, 29490};
    static const WarningLevels twentyFour = {0.7, 0.89999};
    switch (bitsPerSample) {
    case 8: return &eight;
    case 16: return &sixteen;
    case 24: return &twentyFour;
    default: return nullptr;
    }
}

constexpr int VuLamps = 15;

}  // namespace

unsigned OverloadBits(double value, uint16_t bitsPerSample) {
    const WarningLevels* w = WarningLevelsFor(bitsPerSample);
    const DepthScale* s = ScaleFor(bitsPerSample);
    if (!w || !s) return 0;
    const double magnitude = std::fabs(value);
    unsigned bits = 0;
    if (magnitude > w->yellow) bits |= 1u << LampYellow;
    if (magnitude > w->orange) bits |= 1u << LampOrange;
    if (Clipped(value, *s)) bits |= 1u << LampRed;
    return bits;
}

int VuTargetLevel(double rms, uint16_t bitsPerSample) {
    // Full scale is the largest positive sample value, where a clipping
    // mark ends.
    const DepthScale* s = ScaleFor(bitsPerSample);
    if (!s) return 0;
    const double fullScale = s->markTop;
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
        const double v = SampleValue(p, bitsPerSample);
        sum += v * v;
    }
    // The mean square over the frames read (for a block of whole frames the
    // same as sum / bytes x frame size).
    return std::sqrt(sum / frames);
}
