// The meaning of the capture group's combo selections: the index tables with
// their fallbacks for no selection, and the format a selection produces.
#include <gtest/gtest.h>

#include "audio/FormatTables.h"
#include "sound/SoundChain.h"

namespace {

constexpr int64_t NoSelection = -1;  // what CB_GETCURSEL reports without a selection

TEST(ComboIndexTables, BitsFollowTheListAndFallBackTo16) {
    EXPECT_EQ(BitsForIndex(0), 8);
    EXPECT_EQ(BitsForIndex(1), 16);
    EXPECT_EQ(BitsForIndex(2), 24);
    EXPECT_EQ(BitsForIndex(3), 16);
    EXPECT_EQ(BitsForIndex(NoSelection), 16);
    EXPECT_EQ(BitsForIndex(1LL << 40), 16);
}

TEST(ComboIndexTables, RatesFollowTheListAndFallBackTo8000) {
    const uint32_t listed[] = {8000, 11025, 22050, 44100, 48000, 96000, 192000};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(RateForIndex(i), listed[i]) << "index " << i;
    EXPECT_EQ(RateForIndex(7), 8000u);
    EXPECT_EQ(RateForIndex(NoSelection), 8000u);
    EXPECT_EQ(RateForIndex(-7), 8000u);
}

TEST(ComboIndexTables, ChannelsAreMonoUnlessStereoIsChosen) {
    EXPECT_EQ(ChannelsForIndex(0), 1);
    EXPECT_EQ(ChannelsForIndex(1), 2);
    EXPECT_EQ(ChannelsForIndex(2), 1);
    EXPECT_EQ(ChannelsForIndex(NoSelection), 1);
}

TEST(ComboIndexTables, DeviceEntryZeroIsTheDefaultDevice) {
    EXPECT_EQ(DefaultCaptureDevice, uint32_t(-1));
    EXPECT_EQ(DeviceIdForIndex(0), DefaultCaptureDevice);
    EXPECT_EQ(DeviceIdForIndex(NoSelection), DefaultCaptureDevice);
    EXPECT_EQ(DeviceIdForIndex(1), 0u);
    EXPECT_EQ(DeviceIdForIndex(2), 1u);  // the third entry is the second device
    EXPECT_EQ(DeviceIdForIndex(49), 48u);
}

TEST(RecordingFormat, DefaultSelectionsGive16Bit44100Mono) {
    const RecordingFormat f = RecordingFormatFor(1, 3, 0);
    EXPECT_EQ(f.BitsPerSample, 16);
    EXPECT_EQ(f.SamplesPerSec, 44100u);
    EXPECT_EQ(f.Channels, 1);
    EXPECT_EQ(+f.Format.wFormatTag, 1);
    EXPECT_EQ(+f.Format.nChannels, 1);
    EXPECT_EQ(+f.Format.nSamplesPerSec, 44100u);
    EXPECT_EQ(+f.Format.wBitsPerSample, 16);
    EXPECT_EQ(+f.Format.nBlockAlign, 2);
    EXPECT_EQ(+f.Format.nAvgBytesPerSec, 88200u);
    EXPECT_EQ(+f.Format.cbSize, 0);
    EXPECT_EQ(f.FragmentSize, 4410u);
}

TEST(RecordingFormat, RatesWithoutWholeFramesPerFragmentAreRoundedUp) {
    EXPECT_EQ(RecordingFormatFor(0, 1, 0).FragmentSize, 552u);   // not 551
    EXPECT_EQ(RecordingFormatFor(2, 1, 0).FragmentSize, 1656u);  // not 1653
    EXPECT_EQ(RecordingFormatFor(1, 2, 1).FragmentSize, 4412u);  // 22050 stereo 16-bit
}

TEST(RecordingFormat, HighestRateStereo24Bit) {
    const RecordingFormat f = RecordingFormatFor(2, 6, 1);
    EXPECT_EQ(f.FragmentSize, 57600u);
    EXPECT_EQ(+f.Format.nAvgBytesPerSec, 1152000u);
    EXPECT_EQ(+f.Format.nBlockAlign, 6);
    EXPECT_EQ(+f.Format.nChannels, 2);
}

TEST(RecordingFormat, NoSelectionFallsBackTo16Bit8000Mono) {
    const RecordingFormat f = RecordingFormatFor(NoSelection, NoSelection, NoSelection);
    EXPECT_EQ(f.BitsPerSample, 16);
    EXPECT_EQ(f.SamplesPerSec, 8000u);
    EXPECT_EQ(f.Channels, 1);
    EXPECT_EQ(+f.Format.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(f.FragmentSize, 800u);
}

// Every offered combination: the published size table, a whole number of
// frames per fragment, and a fragment of (about) 50 ms.
TEST(RecordingFormat, EveryOfferedCombinationGivesWholeFramesOfAbout50Ms) {
    // rows: rates in list order; columns: mono 8/16/24, stereo 8/16/24
    const uint32_t sizes[7][6] = {
        {400, 800, 1200, 800, 1600, 2400},          {552, 1104, 1656, 1104, 2208, 3312},
        {1103, 2206, 3309, 2206, 4412, 6618},       {2205, 4410, 6615, 4410, 8820, 13230},
        {2400, 4800, 7200, 4800, 9600, 14400},      {4800, 9600, 14400, 9600, 19200, 28800},
        {9600, 19200, 28800, 19200, 38400, 57600}};
    for (int rate = 0; rate < 7; ++rate) {
        for (int channels = 0; channels < 2; ++channels) {
            for (int bits = 0; bits < 3; ++bits) {
                const RecordingFormat f = RecordingFormatFor(bits, rate, channels);
                SCOPED_TRACE(testing::Message() << f.SamplesPerSec << " Hz, " << f.BitsPerSample << " bit, "
                                                << f.Channels << " ch");
                EXPECT_EQ(f.FragmentSize, sizes[rate][channels * 3 + bits]);
                EXPECT_EQ(f.FragmentSize % f.Format.nBlockAlign, 0u);
                EXPECT_EQ(+f.Format.nBlockAlign, f.BitsPerSample / 8 * f.Channels);
                EXPECT_EQ(+f.Format.nAvgBytesPerSec, f.Format.nBlockAlign * f.SamplesPerSec);
                const double ms = BytesToMsFor(f.FragmentSize, f.SamplesPerSec, f.BitsPerSample, f.Channels);
                EXPECT_NEAR(ms, 50.0, 0.1);
            }
        }
    }
}

TEST(CaptureCopyLength, NeverMoreThanTheBufferHolds) {
    EXPECT_EQ(CaptureCopyLength(4410, 4410), 4410u);
    EXPECT_EQ(CaptureCopyLength(4410, 8000), 4410u);
    EXPECT_EQ(CaptureCopyLength(4410, 100), 100u);
    EXPECT_EQ(CaptureCopyLength(4410, 0), 0u);
}

}  // namespace
