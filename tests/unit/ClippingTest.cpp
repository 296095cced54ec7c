#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "EditFixture.h"
#include "edit/Clipping.h"
#include "sound/SampleCodec.h"

namespace {

class Clipping : public EditFixture {};

TEST_F(Clipping, SixteenBitLimitsAreHalfOfFullScaleOnBothSides) {
    SetFormat(1, 16);
    TestChain chain({Bytes16({20000, -20000, 16384, -16385, 100, -16384, 16383, 32767, -32768})});
    ClipSound(chain.head(), 18, 0.5);
    EXPECT_EQ(Samples16(chain.head(), 9),
              (std::vector<int>{16384, -16384, 16384, -16384, 100, -16384, 16383, 16384, -16384}));
    EXPECT_EQ(log, (std::vector<std::wstring>{L"Граница клиппирования - 50% от максимума..",
                                              L"Клиппирование успешно выполнено!"}));
    EXPECT_TRUE(alerts.empty());
}

TEST_F(Clipping, EightBitLimitsApplyToTheByteMinus128) {
    SetFormat(1, 8);
    TestChain chain({{255, 0, 192, 64, 63, 193, 128}});
    ClipSound(chain.head(), 7, 0.5);
    EXPECT_EQ(chain.Bytes(0, 7), (std::vector<uint8_t>{192, 64, 192, 64, 64, 192, 128}));
}

TEST_F(Clipping, TwentyFourBitLimitsAreWrittenAsPackedBytes) {
    SetFormat(1, 24);
    TestChain chain({{0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x3F, 0xFF, 0xFF, 0xBF}});
    ClipSound(chain.head(), 12, 0.5);
    EXPECT_EQ(chain.Bytes(0, 12), (std::vector<uint8_t>{0x00, 0x00, 0x40, 0x00, 0x00, 0xC0,   // limited
                                                         0xFF, 0xFF, 0x3F,                     // 4194303 stays
                                                         0x00, 0x00, 0xC0}));                  // -4194305
}

TEST_F(Clipping, OtherFractionsRoundTheirLimitsHalfAwayFromZero) {
    SetFormat(1, 16);
    // 0.01: -327.68 -> -328 and 327.67 -> 328
    TestChain low({Bytes16({-400, 400, -328, 328, -327})});
    ClipSound(low.head(), 10, 0.01);
    EXPECT_EQ(Samples16(low.head(), 5), (std::vector<int>{-328, 328, -328, 328, -327}));
    EXPECT_EQ(log.front(), L"Граница клиппирования - 1% от максимума..");

    // 0.999: -32735.232 -> -32735 and 32734.233 -> 32734
    log.clear();
    TestChain high({Bytes16({-32768, 32767, -32735, 32734})});
    ClipSound(high.head(), 8, 0.999);
    EXPECT_EQ(Samples16(high.head(), 4), (std::vector<int>{-32735, 32734, -32735, 32734}));
    EXPECT_EQ(log.front(), L"Граница клиппирования - 99% от максимума..");
}

TEST_F(Clipping, FractionsOutsideTheRangeAreRefused) {
    SetFormat(1, 16);
    const std::vector<uint8_t> bytes = Bytes16({32767, -32768});
    TestChain chain({bytes});
    for (double f : {0.0099, 1.0, 0.0, -0.5, 1.5, std::nan("")}) {
        log.clear();
        ClipSound(chain.head(), 4, f);
        EXPECT_EQ(log, std::vector<std::wstring>{L"Недопустимый процент клиппирования!"}) << f;
        EXPECT_EQ(chain.Bytes(0, 4), bytes) << f;
    }
    EXPECT_TRUE(alerts.empty());
}

TEST_F(Clipping, NoSoundDoesNothing) {
    ClipSound(nullptr, 4, 0.5);
    ClipSound(nullptr, 4, 2.0);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(alerts.empty());
}

TEST_F(Clipping, ClippingTwiceChangesNothingMore) {
    std::mt19937 random(7);
    for (uint16_t bits : {8, 16, 24}) {
        SetFormat(2, bits);
        std::vector<std::vector<uint8_t>> fragments(3, std::vector<uint8_t>(600));
        for (auto& f : fragments)
            for (auto& b : f) b = uint8_t(random());
        TestChain chain(fragments);
        ClipSound(chain.head(), 600, 0.5);
        std::vector<std::vector<uint8_t>> once;
        for (size_t i = 0; i < 3; ++i) once.push_back(chain.Bytes(i, 600));
        EXPECT_NE(once[0], fragments[0]) << bits;  // random sound is louder than half scale somewhere
        ClipSound(chain.head(), 600, 0.5);
        for (size_t i = 0; i < 3; ++i) EXPECT_EQ(chain.Bytes(i, 600), once[i]) << bits;
    }
}

TEST_F(Clipping, StereoChannelsAndLaterFragmentsAreClippedAlike) {
    SetFormat(2, 16);
    TestChain chain({Bytes16({30000, -30000, 5, 6}), Bytes16({-17000, 17000, 16384, -16384})});
    ClipSound(chain.head(), 8, 0.5);
    EXPECT_EQ(Samples16(chain.node(0), 4), (std::vector<int>{16384, -16384, 5, 6}));
    EXPECT_EQ(Samples16(chain.node(1), 4), (std::vector<int>{-16384, 16384, 16384, -16384}));
}

TEST_F(Clipping, APartSampleAtTheEndOfAFragmentIsLeftAlone) {
    SetFormat(1, 16);
    std::vector<uint8_t> odd = Bytes16({30000, -30000});
    odd.push_back(0xFF);
    TestChain chain16({odd, odd});
    ClipSound(chain16.head(), 5, 0.5);
    for (size_t n = 0; n < 2; ++n) {
        EXPECT_EQ(Samples16(chain16.node(n), 2), (std::vector<int>{16384, -16384}));
        EXPECT_EQ(chain16.node(n)->Data[4], 0xFF);
    }

    SetFormat(1, 24);
    TestChain chain24({{0xFF, 0xFF, 0x7F, 0xFF, 0xFF}});
    ClipSound(chain24.head(), 5, 0.5);
    EXPECT_EQ(chain24.Bytes(0, 5), (std::vector<uint8_t>{0x00, 0x00, 0x40, 0xFF, 0xFF}));
}

TEST_F(Clipping, UnsupportedDepthIsRefusedWithALineAndABox) {
    SetFormat(1, 32);
    const std::vector<uint8_t> bytes = {0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80};
    TestChain chain({bytes});
    ClipSound(chain.head(), 8, 0.5);
    EXPECT_EQ(chain.Bytes(0, 8), bytes);
    EXPECT_EQ(log, (std::vector<std::wstring>{L"Граница клиппирования - 50% от максимума..",
                                              L"Клиппирование не выполнено!"}));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].text, L" Недопустимая глубина звучания!");
    EXPECT_EQ(alerts[0].caption, L"Внимание!");
    EXPECT_EQ(alerts[0].flags, unsigned(AlertOk));
}

}  // namespace
