#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sound/Narration.h"
#include "sound/SoundChain.h"
#include "view/PlotCoordinates.h"

namespace {

class PlotCoordinatesTest : public ::testing::Test {
protected:
    SoundChain savedSound;
    PlotExtents savedBounds;
    PlotRectangle savedRect;
    int savedWidth, savedHeight;
    std::vector<std::wstring> log;
    SoundFragment fragment{nullptr, nullptr};  // stands for a sound; never read

    void SetUp() override {
        savedSound = Sound;
        savedBounds = PlotBounds;
        savedRect = PlotRect;
        savedWidth = ClientWidth;
        savedHeight = ClientHeight;
        SetLogSink([this](const std::wstring& line) { log.push_back(line); });
    }
    void TearDown() override {
        Sound = savedSound;
        PlotBounds = savedBounds;
        PlotRect = savedRect;
        ClientWidth = savedWidth;
        ClientHeight = savedHeight;
        SetLogSink(nullptr);
    }
    static void UseFormat(uint16_t channels, uint16_t bits, uint32_t fragmentSize, double totalBytes) {
        Sound.Channels = channels;
        Sound.BitsPerSample = bits;
        Sound.FragmentSize = fragmentSize;
        Sound.TotalBytes = totalBytes;
    }
};

TEST_F(PlotCoordinatesTest, WholeSoundIsCountedInFramesAndLogged) {
    UseFormat(1, 16, 4410, 441000);
    ASSERT_TRUE(ComputePlotBounds(&fragment));
    EXPECT_EQ(PlotBounds.xMin, 0.0);
    EXPECT_EQ(PlotBounds.xMax, 220500.0);
    EXPECT_EQ(PlotBounds.yMin, -32768.0);
    EXPECT_EQ(PlotBounds.yMax, 32767.0);
    EXPECT_EQ(log, (std::vector<std::wstring>{L"OpenGL: X(0, 220500), Y(-32768, 32767)"}));

    log.clear();
    UseFormat(2, 24, 13230, 13230.0 * 7);
    ASSERT_TRUE(ComputePlotBounds(&fragment));
    EXPECT_EQ(PlotBounds.xMax, 15435.0);
    EXPECT_EQ(log, (std::vector<std::wstring>{L"OpenGL: X(0, 15435), Y(-1, 1)"}));

    // A fractional frame count keeps its fraction; only the log rounds it.
    log.clear();
    UseFormat(1, 16, 801, 801.0 * 3);
    ASSERT_TRUE(ComputePlotBounds(&fragment));
    EXPECT_EQ(PlotBounds.xMax, 1201.5);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], L"OpenGL: X(0, 1202), Y(-32768, 32767)");
}

TEST_F(PlotCoordinatesTest, LiveViewShowsOneFragmentWithoutLogging) {
    PlotBounds = {-5, -5, -5, -5};
    UseFormat(2, 24, 13230, 1e9);
    ASSERT_TRUE(ComputePlotBounds(nullptr));
    EXPECT_EQ(PlotBounds.xMin, 0.0);
    EXPECT_EQ(PlotBounds.xMax, 2205.0);
    EXPECT_EQ(PlotBounds.yMin, -1.0);
    EXPECT_EQ(PlotBounds.yMax, 1.0);

    UseFormat(1, 8, 2205, 0);
    ASSERT_TRUE(ComputePlotBounds(nullptr));
    EXPECT_EQ(PlotBounds.xMax, 2205.0);
    EXPECT_EQ(PlotBounds.yMin, -128.0);
    EXPECT_EQ(PlotBounds.yMax, 127.0);

    // Whole frames only: 801 bytes of 16-bit mono hold 400.
    UseFormat(1, 16, 801, 0);
    ASSERT_TRUE(ComputePlotBounds(nullptr));
    EXPECT_EQ(PlotBounds.xMax, 400.0);
    UseFormat(2, 8, 4410, 0);
    ASSERT_TRUE(ComputePlotBounds(nullptr));
    EXPECT_EQ(PlotBounds.xMax, 2205.0);

    // A channel count the program cannot record keeps the width.
    UseFormat(3, 16, 9999, 0);
    ASSERT_TRUE(ComputePlotBounds(nullptr));
    EXPECT_EQ(PlotBounds.xMax, 2205.0);
    EXPECT_EQ(PlotBounds.yMin, -32768.0);

    EXPECT_TRUE(log.empty());
}

TEST_F(PlotCoordinatesTest, UnsupportedDepthChangesNothing) {
    PlotBounds = {1, 2, 3, 4};
    for (uint16_t bits : {0, 12, 32}) {
        UseFormat(1, bits, 4410, 441000);
        EXPECT_FALSE(ComputePlotBounds(&fragment)) << bits;
        EXPECT_FALSE(ComputePlotBounds(nullptr)) << bits;
    }
    EXPECT_EQ(PlotBounds.xMin, 1);
    EXPECT_EQ(PlotBounds.xMax, 2);
    EXPECT_EQ(PlotBounds.yMin, 3);
    EXPECT_EQ(PlotBounds.yMax, 4);
    EXPECT_TRUE(log.empty());
}

TEST_F(PlotCoordinatesTest, PlotRectangleFollowsTheClientSize) {
    SetClientSize(1000, 700);
    EXPECT_EQ(ClientWidth, 1000);
    EXPECT_EQ(ClientHeight, 700);
    EXPECT_EQ(PlotRect.x, 5);
    EXPECT_EQ(PlotRect.y, 325);
    EXPECT_EQ(PlotRect.width, 990);
    EXPECT_EQ(PlotRect.height, 370);

    SetClientSize(780, 570);
    EXPECT_EQ(PlotRect.width, 770);
    EXPECT_EQ(PlotRect.height, 240);
}

TEST_F(PlotCoordinatesTest, SeekBandIsTheLowest19RowsWithStrictEdges) {
    SetClientSize(780, 570);
    // Plot: client x 5..775, bottom edge at client y 570 - 325 = 245.
    EXPECT_TRUE(InSeekBand(390, 235));
    EXPECT_TRUE(InSeekBand(6, 226));
    EXPECT_TRUE(InSeekBand(774, 244));
    EXPECT_FALSE(InSeekBand(5, 235));    // left edge
    EXPECT_FALSE(InSeekBand(775, 235));  // right edge
    EXPECT_FALSE(InSeekBand(390, 225));  // the row just above the band
    EXPECT_FALSE(InSeekBand(390, 245));  // the plot's bottom edge
    EXPECT_FALSE(InSeekBand(390, 100));  // higher up in the plot

    SetClientSize(1000, 700);
    EXPECT_TRUE(InSeekBand(500, 374));
    EXPECT_FALSE(InSeekBand(500, 375));
    EXPECT_FALSE(InSeekBand(500, 355));
    EXPECT_TRUE(InSeekBand(994, 356));
    EXPECT_FALSE(InSeekBand(995, 356));
}

TEST_F(PlotCoordinatesTest, FractionOfThePlotWidth) {
    SetClientSize(1000, 700);
    EXPECT_DOUBLE_EQ(PlotFractionAt(5), 0.0);
    EXPECT_DOUBLE_EQ(PlotFractionAt(500), 0.5);
    EXPECT_DOUBLE_EQ(PlotFractionAt(995), 1.0);
    EXPECT_DOUBLE_EQ(PlotFractionAt(104), 0.1);

    // A minimised window has no plot to measure.
    SetClientSize(0, 0);
    EXPECT_FALSE(InSeekBand(0, 0));
    EXPECT_EQ(PlotFractionAt(3), 0.0);
}

}  // namespace
