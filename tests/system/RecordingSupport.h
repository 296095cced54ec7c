// Driving a recording through the program and checking the saved file: used
// by the recording tests and the soak run.
#pragma once

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "AudioAnalysis.h"
#include "SystemTest.h"

namespace recording_support {

// A selection of the three format combo boxes and what it stands for, by the
// order of the items the program offers.
struct Format {
    int bitsIndex, rateIndex, channelsIndex;
    uint16_t Bits() const { return uint16_t(bitsIndex == 0 ? 8 : bitsIndex == 2 ? 24 : 16); }
    uint32_t Rate() const {
        static const uint32_t rates[] = {8000, 11025, 22050, 44100, 48000, 96000, 192000};
        return rates[rateIndex];
    }
    uint16_t Channels() const { return uint16_t(channelsIndex == 1 ? 2 : 1); }
    uint32_t BlockAlign() const { return uint32_t(Bits() / 8) * Channels(); }
    // 50 ms of sound, with the two rates that give no whole frame count
    // counted slightly higher.
    uint32_t FragmentBytes() const {
        const uint32_t r = Rate() == 11025 ? 11040 : Rate() == 22050 ? 22060 : Rate();
        return Channels() * r * Bits() / 160;
    }
    uint32_t FragmentFrames() const { return FragmentBytes() / BlockAlign(); }
    double FragmentMs() const { return 1000.0 * FragmentFrames() / Rate(); }
    std::string Name() const {
        return std::to_string(Rate()) + " Hz " + std::to_string(Bits()) + " bit " + std::to_string(Channels()) + " ch";
    }
};

const Format DefaultFormat{1, 3, 0};

inline double NowMs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * double(c.QuadPart) / double(f.QuadPart);
}

inline bool SelectFormat(st::App& app, const Format& f) {
    return app.SetComboSel(ID_BITS_COMBO, f.bitsIndex) && app.SetComboSel(ID_RATE_COMBO, f.rateIndex) &&
           app.SetComboSel(ID_CHANNELS_COMBO, f.channelsIndex);
}

// One recording, as seen from the test.
struct Take {
    double recordToStopMs = 0;  // Record command posted .. Stop command posted
    double shownMs = 0;         // the length the time display showed before Stop
};

// The length on the time display (" m:ss" while recording), in ms.
inline double ShownMs(const st::App& app) { return 1000 * st::FirstTimeSeconds(app.Text(ID_TIME_DISPLAY)); }

// Lets the recording Record started at `start` run for ms milliseconds and
// until the time display shows their whole seconds (a loaded machine
// captures late, not less), then posts Stop.
inline bool StopAt(st::App& app, double start, double ms, Take& take) {
    const double remaining = start + ms - NowMs();
    if (remaining > 0) Sleep(DWORD(remaining));
    if (!st::WaitUntil([&] { return ShownMs(app) >= std::floor(ms / 1000) * 1000; }, "the recording's length shown"))
        return false;
    take.shownMs = ShownMs(app);
    take.recordToStopMs = NowMs() - start;
    return app.PostCommand(ID_STOP_RECORD_BUTTON);
}

// Records for about ms milliseconds (see StopAt) and stops; true when the
// program reported a successful recording. The log is cleared first so that
// the lines seen belong to this recording.
inline bool RecordFor(st::App& app, double ms, Take& take) {
    if (!app.Click(ID_CLEAR_LOG_BUTTON)) return false;
    const double start = NowMs();
    return app.Command(ID_RECORD_BUTTON) && app.WaitLog(L"Запись успешно стартовала...") &&
           StopAt(app, start, ms, take) && app.WaitLog(L"Запись успешно завершена!", false, 60000) &&
           app.Settle(60000);
}

// The fragments the device delivered to the test's last recording, from the
// line the program appends to st::CaptureTimingFile() once it has closed the
// device; -1 without one.
inline long DeliveredFragments() {
    std::vector<uint8_t> bytes;
    if (!st::ReadFileBytes(st::CaptureTimingFile(), bytes)) return -1;
    const std::string text(bytes.begin(), bytes.end());
    const size_t at = text.rfind("fragments=");
    return at == std::string::npos ? -1 : std::atol(text.c_str() + at + 10);
}

// Saves the sound through File / Save as and the real file dialog and reads
// the file back.
inline bool SaveThroughProgram(st::App& app, const std::wstring& path, st::Wav& wav) {
    st::RemoveFile(path);
    if (!app.PostCommand(IDM_SAVE_AS)) return false;
    st::Dialog files = app.WaitFileDialog();
    if (!files || !files.Accept(path)) return false;
    st::Dialog box = app.WaitMessageBox(120000);
    if (!box) return false;
    const std::wstring caption = box.Caption();
    EXPECT_EQ(st::Narrow(caption), "Файл успешно сохранён") << st::Narrow(box.MessageText());
    if (!box.PressAndWaitGone(IDOK)) return false;
    return caption == L"Файл успешно сохранён" && st::ReadWav(path, wav);
}

struct SineFigures {
    size_t fragments = 0;
    double durationMs = 0;
    double frequency = 0;
    double peak = 0;
    double worstPhaseStepDeg = 0;
};

// The saved recording of the 441 Hz sine source: format as chosen, a whole
// number of fragments, every fragment the device delivered once and at least
// the length shown before Stop, the tone's frequency and level, and no lost,
// repeated or garbled fragment on any channel. How long the machine took to
// deliver them is no measure: the server may hand over a second or more of
// buffered sound at the start, and a loaded machine captures late.
inline SineFigures CheckRecordedSine(const st::Wav& wav, const Format& f, const Take& take) {
    using namespace audio_check;
    SineFigures figures;
    EXPECT_EQ(wav.formatTag, 1);
    EXPECT_EQ(wav.channels, f.Channels());
    EXPECT_EQ(wav.samplesPerSec, f.Rate());
    EXPECT_EQ(wav.bitsPerSample, f.Bits());
    EXPECT_EQ(wav.blockAlign, f.BlockAlign());
    EXPECT_EQ(wav.avgBytesPerSec, f.BlockAlign() * f.Rate());
    const uint32_t fragment = f.FragmentBytes();
    EXPECT_EQ(wav.data.size() % fragment, 0u) << "data is not a whole number of fragments";
    figures.fragments = wav.data.size() / fragment;
    figures.durationMs = double(figures.fragments) * f.FragmentMs();
    EXPECT_GT(figures.fragments, 2u);
    EXPECT_EQ(long(figures.fragments), DeliveredFragments()) << "fragments the device delivered";
    EXPECT_GE(figures.durationMs, take.shownMs) << "less sound than the time display showed before Stop";

    Pcm pcm{f.Channels(), f.Rate(), f.Bits(), wav.data};
    pcm.data.resize(figures.fragments * fragment);
    for (unsigned ch = 0; ch < f.Channels(); ++ch) {
        SCOPED_TRACE("channel " + std::to_string(ch));
        const std::vector<double> x = Channel(pcm, ch);
        figures.frequency = ZeroCrossingFrequency(x, f.Rate());
        figures.peak = Peak(x);
        EXPECT_NEAR(figures.frequency, 441.0, 1.0);
        EXPECT_GT(figures.peak, 0.05);
        EXPECT_LT(figures.peak, 0.999) << "clipped";

        const std::vector<Block> blocks = Blocks(x, f.Rate(), 441, f.FragmentFrames());
        const std::vector<size_t> jumps = PhaseJumps(blocks, 6);
        EXPECT_TRUE(jumps.empty()) << jumps.size() << " fragment boundaries with a phase jump, first at fragment "
                                   << (jumps.empty() ? 0 : jumps[0]);
        const std::vector<size_t> uneven = UnevenBlocks(blocks, 0.2);
        EXPECT_TRUE(uneven.empty()) << uneven.size() << " fragments of the wrong level, first "
                                    << (uneven.empty() ? 0 : uneven[0]);
        const double threshold = 0.1 * figures.peak + 6 * Step(f.Bits());
        const std::vector<size_t> steps = SecondDifferenceJumps(x, f.Rate(), 441, f.FragmentFrames(), threshold);
        EXPECT_TRUE(steps.empty()) << steps.size() << " fragment boundaries with a step in the waveform, first at "
                                   << (steps.empty() ? 0 : steps[0]) << " (interior residual "
                                   << InteriorResidual(x, f.Rate(), 441, f.FragmentFrames()) << ", threshold "
                                   << threshold << ")";
        for (size_t k = 1; k < blocks.size(); ++k) {
            const double step = std::fabs(Wrap(blocks[k].phase - blocks[k - 1].phase)) * 180 / Pi;
            if (step > figures.worstPhaseStepDeg) figures.worstPhaseStepDeg = step;
        }
    }
    std::printf("[ figures  ] %s: %zu fragments, %.0f ms recorded in %.0f ms, %.2f Hz, "
                "peak %.3f, largest phase step between fragments %.2f deg\n",
                f.Name().c_str(), figures.fragments, figures.durationMs, take.recordToStopMs,
                figures.frequency, figures.peak, figures.worstPhaseStepDeg);
    return figures;
}

}  // namespace recording_support
