#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "EditFixture.h"
#include "edit/VolumeChange.h"
#include "edit/VolumeKernels.h"
#include "sound/SampleCodec.h"

namespace {

class VolumeChange : public EditFixture {};

TEST_F(VolumeChange, SixteenBitRoundsHalvesAwayFromZeroAndSaturates) {
    SetFormat(1, 16);
    TestChain loud({Bytes16({20000, -20000, 16383, -16384, 0})});
    EXPECT_TRUE(ChangeVolume(loud.head(), 10, 2.0));
    EXPECT_EQ(Samples16(loud.head(), 5), (std::vector<int>{32767, -32768, 32766, -32768, 0}));

    TestChain halves({Bytes16({3, -3, 1, -1, 32767})});
    EXPECT_TRUE(ChangeVolume(halves.head(), 10, 0.5));
    EXPECT_EQ(Samples16(halves.head(), 5), (std::vector<int>{2, -2, 1, -1, 16384}));
}

// Every 16-bit value at every level the dialog offers (and a few others),
// compared with the plain definition: std::round of the double product,
// then saturation.
TEST_F(VolumeChange, SixteenBitMatchesRoundingOfTheDoubleProductForEveryValue) {
    SetFormat(1, 16);
    std::vector<double> factors;
    for (int p = 10; p <= 400; ++p)
        if (p != 100) factors.push_back(p / 100.0);  // 1.0 is no change at all
    for (double f : {0.0, -1.0, -0.5, 1e-9, 7.25, 1e12, -1e12}) factors.push_back(f);

    std::vector<int> all;
    for (int v = -32768; v <= 32767; ++v) all.push_back(v);
    const std::vector<uint8_t> original = Bytes16(all);
    TestChain chain({original});
    for (double factor : factors) {
        std::memcpy(chain.head()->Data, original.data(), original.size());
        ASSERT_TRUE(ChangeVolume(chain.head(), uint32_t(original.size()), factor)) << factor;
        const std::vector<int> got = Samples16(chain.head(), all.size());
        for (size_t i = 0; i < all.size(); ++i) {
            const double r = std::round(all[i] * factor);
            const int expected = r < -32768 ? -32768 : r > 32767 ? 32767 : int(r);
            ASSERT_EQ(got[i], expected) << "value " << all[i] << " factor " << factor;
        }
    }
}

// Each vector loop the processor can run, on every 16-bit value at every
// slider level, with lengths that leave a tail for the plain loop.
TEST(Scale16Kernels, EveryVariantRoundsLikeTheDoubleProduct) {
    struct Variant {
        const char* name;
        bool available;
        Scale16Kernel scale;
    };
    const Variant variants[] = {{"generic", true, Scale16Generic},
                                {"sse2", Scale16Sse2Available(), Scale16Sse2},
                                {"avx2", Scale16Avx2Available(), Scale16Avx2},
                                {"avx512", Scale16Avx512Available(), Scale16Avx512}};
    std::vector<int> all;
    for (int v = -32768; v <= 32767; ++v) all.push_back(v);
    all.push_back(-32768);
    all.push_back(32767);
    all.push_back(5);  // 65539 samples: not a multiple of any vector width
    const std::vector<uint8_t> original = Bytes16(all);
    std::vector<double> factors = {0.5, -0.5, -1.0, 0.0, 65535.5, -65535.5, 1e-300, 3.0000000000000004};
    for (int p = 10; p <= 400; ++p) factors.push_back(p / 100.0);
    int ran = 0;
    for (const Variant& variant : variants) {
        if (!variant.available) continue;
        ++ran;
        for (double factor : factors) {
            std::vector<uint8_t> bytes = original;
            variant.scale(bytes.data(), uint32_t(all.size()), factor);
            for (size_t i = 0; i < all.size(); ++i) {
                const double r = std::round(all[i] * factor);
                const int expected = r < -32768 ? -32768 : r > 32767 ? 32767 : int(r);
                const int got = int16_t(uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
                ASSERT_EQ(got, expected) << variant.name << " value " << all[i] << " factor " << factor;
            }
        }
    }
    EXPECT_GE(ran, 1);
}

TEST_F(VolumeChange, EightBitWorksOnTheByteMinus128) {
    SetFormat(1, 8);
    TestChain louder({{200, 10, 128, 0, 255}});
    EXPECT_TRUE(ChangeVolume(louder.head(), 5, 2.0));
    EXPECT_EQ(louder.Bytes(0, 5), (std::vector<uint8_t>{255, 0, 128, 0, 255}));

    TestChain softer({{129, 127, 131, 0, 255}});
    EXPECT_TRUE(ChangeVolume(softer.head(), 5, 0.5));
    // 0.5 -> 1, -0.5 -> -1, 1.5 -> 2, -64, 63.5 -> 64
    EXPECT_EQ(softer.Bytes(0, 5), (std::vector<uint8_t>{129, 127, 130, 64, 192}));
}

TEST_F(VolumeChange, TwentyFourBitDecodesPackedSamplesAndSaturates) {
    SetFormat(1, 24);
    TestChain top({{0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x01, 0x00, 0x00}});
    EXPECT_TRUE(ChangeVolume(top.head(), 9, 1.01));
    EXPECT_EQ(DecodeSample24(top.head()->Data), 8388607);
    EXPECT_EQ(DecodeSample24(top.head()->Data + 3), -8388608);
    EXPECT_EQ(DecodeSample24(top.head()->Data + 6), 1);  // 1.01 rounds to 1

    TestChain bottom({{0x00, 0x00, 0x80, 0x00, 0x00, 0x40, 0x05, 0x00, 0x00}});
    EXPECT_TRUE(ChangeVolume(bottom.head(), 9, 0.10));
    EXPECT_EQ(DecodeSample24(bottom.head()->Data), -838861);  // -838860.8
    EXPECT_EQ(DecodeSample24(bottom.head()->Data + 3), 419430);  // 419430.4
    EXPECT_EQ(DecodeSample24(bottom.head()->Data + 6), 1);  // 0.5 away from zero

    TestChain doubled({{0x00, 0x00, 0xC0, 0x01, 0x00, 0x40}});  // -4194304, 4194305
    EXPECT_TRUE(ChangeVolume(doubled.head(), 6, 2.0));
    EXPECT_EQ(DecodeSample24(doubled.head()->Data), -8388608);
    EXPECT_EQ(DecodeSample24(doubled.head()->Data + 3), 8388607);
}

// Every 8-bit byte and a spread of 24-bit values (the extremes, values next
// to them and pseudo-random ones) at every slider level, against std::round
// of the double product and the saturation of each depth.
TEST_F(VolumeChange, EightAndTwentyFourBitMatchRoundingOfTheDoubleProduct) {
    std::vector<uint8_t> bytes8;
    for (int b = 0; b < 256; ++b) bytes8.push_back(uint8_t(b));
    std::vector<int32_t> values24 = {-8388608, -8388607, -4194304, -4194303, -1, 0, 1, 4194303, 4194304, 8388606, 8388607};
    uint32_t x = 12345;
    for (int i = 0; i < 3000; ++i) {
        x = x * 1103515245u + 12345u;
        values24.push_back(int32_t(x >> 8) - 8388608);
    }
    std::vector<uint8_t> bytes24(values24.size() * 3);
    for (size_t i = 0; i < values24.size(); ++i) EncodeSample24(&bytes24[3 * i], values24[i]);

    TestChain chain8({bytes8});
    TestChain chain24({bytes24});
    for (int position = 10; position <= 400; ++position) {
        if (position == 100) continue;
        const double factor = position / 100.0;
        SetFormat(1, 8);
        std::memcpy(chain8.head()->Data, bytes8.data(), bytes8.size());
        ASSERT_TRUE(ChangeVolume(chain8.head(), uint32_t(bytes8.size()), factor));
        for (int b = 0; b < 256; ++b) {
            const double r = std::round((b - 128) * factor);
            const int expected = r < -128 ? 0 : r > 127 ? 255 : int(r) + 128;
            ASSERT_EQ(chain8.head()->Data[b], expected) << "byte " << b << " factor " << factor;
        }
        SetFormat(1, 24);
        std::memcpy(chain24.head()->Data, bytes24.data(), bytes24.size());
        ASSERT_TRUE(ChangeVolume(chain24.head(), uint32_t(bytes24.size()), factor));
        for (size_t i = 0; i < values24.size(); ++i) {
            const double r = std::round(values24[i] * factor);
            const int32_t expected = r < -8388608 ? -8388608 : r > 8388607 ? 8388607 : int32_t(r);
            ASSERT_EQ(DecodeSample24(chain24.head()->Data + 3 * i), expected)
                << "value " << values24[i] << " factor " << factor;
        }
    }
}

TEST_F(VolumeChange, BothStereoChannelsAreScaledAlike) {
    SetFormat(2, 16);
    TestChain chain({Bytes16({1000, 1000, -1000, 2000, 30000, -30000})});
    EXPECT_TRUE(ChangeVolume(chain.head(), 12, 1.5));
    EXPECT_EQ(Samples16(chain.head(), 6), (std::vector<int>{1500, 1500, -1500, 3000, 32767, -32768}));
}

TEST_F(VolumeChange, EveryFragmentOfTheChainIsChanged) {
    SetFormat(1, 16);
    TestChain chain({Bytes16({100, 200}), Bytes16({300, 400}), Bytes16({-500, 600})});
    EXPECT_TRUE(ChangeVolume(chain.head(), 4, 3.0));
    EXPECT_EQ(Samples16(chain.node(0), 2), (std::vector<int>{300, 600}));
    EXPECT_EQ(Samples16(chain.node(1), 2), (std::vector<int>{900, 1200}));
    EXPECT_EQ(Samples16(chain.node(2), 2), (std::vector<int>{-1500, 1800}));
}

// A fragment size that is not a whole number of samples (a WAV file at an
// odd rate): the part-sample at the end is neither read nor written, and the
// arrays are exactly the fragment size, so an overrun shows under ASan.
TEST_F(VolumeChange, APartSampleAtTheEndOfAFragmentIsLeftAlone) {
    SetFormat(1, 16);
    std::vector<uint8_t> odd = Bytes16(std::vector<int>(400, 1000));
    odd.push_back(0x10);
    TestChain chain16({odd, odd});
    EXPECT_TRUE(ChangeVolume(chain16.head(), 801, 2.0));
    for (size_t n = 0; n < 2; ++n) {
        EXPECT_EQ(Samples16(chain16.node(n), 400), std::vector<int>(400, 2000));
        EXPECT_EQ(chain16.node(n)->Data[800], 0x10);
    }

    SetFormat(1, 24);
    for (uint32_t size : {7u, 8u}) {
        std::vector<uint8_t> bytes = {0x10, 0, 0, 0x20, 0, 0, 0x7F, 0x7F};
        bytes.resize(size);
        TestChain chain24({bytes});
        EXPECT_TRUE(ChangeVolume(chain24.head(), size, 2.0));
        EXPECT_EQ(DecodeSample24(chain24.head()->Data), 0x20);
        EXPECT_EQ(DecodeSample24(chain24.head()->Data + 3), 0x40);
        for (uint32_t i = 6; i < size; ++i) EXPECT_EQ(chain24.head()->Data[i], 0x7F) << size;
    }
}

TEST_F(VolumeChange, UnityFactorOrNoSoundChangesNothingAndSaysNothing) {
    SetFormat(1, 16);
    const std::vector<uint8_t> bytes = Bytes16({20000, -3, 7});
    TestChain chain({bytes});
    EXPECT_FALSE(ChangeVolume(chain.head(), 6, 1.0));
    EXPECT_FALSE(ChangeVolume(nullptr, 6, 2.0));
    EXPECT_FALSE(ChangeVolume(chain.head(), 6, std::nan("")));
    EXPECT_EQ(chain.Bytes(0, 6), bytes);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(alerts.empty());
}

TEST_F(VolumeChange, NarratesTheLevelAndTheSuccess) {
    SetFormat(1, 16);
    TestChain chain({Bytes16({1, 2})});
    EXPECT_TRUE(ChangeVolume(chain.head(), 4, 2.5));
    EXPECT_EQ(log, (std::vector<std::wstring>{L"Новый уровень громкости - 250% ..", L"Громкость успешно изменена!"}));
    EXPECT_TRUE(alerts.empty());
}

TEST_F(VolumeChange, UnsupportedDepthIsRefusedWithALineAndABox) {
    for (uint16_t bits : {12, 32, 0}) {
        log.clear();
        alerts.clear();
        SetFormat(1, bits);
        const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8};
        TestChain chain({bytes});
        EXPECT_FALSE(ChangeVolume(chain.head(), 8, 2.0));
        EXPECT_EQ(chain.Bytes(0, 8), bytes);
        EXPECT_EQ(log, (std::vector<std::wstring>{L"Новый уровень громкости - 200% ..", L"Громкость не изменена!"}));
        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_EQ(alerts[0].text, L" Недопустимая глубина звучания!");
        EXPECT_EQ(alerts[0].caption, L"Внимание!");
        EXPECT_EQ(alerts[0].flags, unsigned(AlertOk));
    }
}

// The percentage in the log is the double product truncated, so a few slider
// positions read one less than the position itself.
TEST_F(VolumeChange, LoggedPercentIsTheTruncatedProductForEverySliderPosition) {
    const std::set<int> oneLess = {29,  57,  58,  113, 114, 115, 116, 201, 203,
                                   205, 207, 226, 228, 230, 232, 251, 253, 255};
    SetFormat(1, 16);
    TestChain chain({Bytes16({0})});
    const std::wstring prefix = L"Новый уровень громкости - ";
    int positionsOneLess = 0;
    for (int position = 10; position <= 400; ++position) {
        log.clear();
        ChangeVolume(chain.head(), 2, position / 100.0);
        if (position == 100) {
            EXPECT_TRUE(log.empty());
            continue;
        }
        ASSERT_FALSE(log.empty()) << position;
        const int expected = oneLess.count(position) ? position - 1 : position;
        EXPECT_EQ(log[0], prefix + std::to_wstring(expected) + L"% ..") << position;
        if (log[0] != prefix + std::to_wstring(position) + L"% ..") ++positionsOneLess;
    }
    EXPECT_EQ(positionsOneLess, 18);
}

}  // namespace
