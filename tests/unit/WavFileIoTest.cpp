// Paths reach the file calls as UTF-16 (UTF-32 here); outside Windows they are
// turned into UTF-8 for fopen, and a wrong byte there opens the wrong file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sound/FileIo.h"

namespace {

TEST(WavFileIo, PathsBecomeUtf8) {
    EXPECT_EQ(Utf8FromWide(L"a.wav"), "a.wav");
    EXPECT_EQ(Utf8FromWide(L"звук"), "\xD0\xB7\xD0\xB2\xD1\x83\xD0\xBA");
    EXPECT_EQ(Utf8FromWide(L"\u00E9\u20AC"), "\xC3\xA9\xE2\x82\xAC");
    if (sizeof(wchar_t) == 4) {
        EXPECT_EQ(Utf8FromWide(std::wstring(1, wchar_t(0x1F600))), "\xF0\x9F\x98\x80");
        // A lone surrogate is no character: it becomes the replacement mark.
        EXPECT_EQ(Utf8FromWide(std::wstring(1, wchar_t(0xD800))), "\xEF\xBF\xBD");
    } else {
        EXPECT_EQ(Utf8FromWide(L"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
        EXPECT_EQ(Utf8FromWide(L"\xD83Dx"), "\xEF\xBF\xBDx");
    }
}

TEST(WavFileIo, ReplaceAndRemoveWorkByWidePath) {
    const std::string dir = ::testing::TempDir();
    const std::wstring from = std::wstring(dir.begin(), dir.end()) + L"dudorori-файл-1.tmp";
    const std::wstring to = std::wstring(dir.begin(), dir.end()) + L"dudorori-файл-2.tmp";
    for (const auto& [path, text] : {std::pair{from, "new"}, std::pair{to, "old"}}) {
        FILE* f = OpenFileUtf16(path, "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(text, f);
        std::fclose(f);
    }
    ASSERT_EQ(ReplaceFileUtf16(from, to), 1);
    EXPECT_EQ(OpenFileUtf16(from, "rb"), nullptr);
    FILE* f = OpenFileUtf16(to, "rb");
    ASSERT_NE(f, nullptr);
    char buf[8] = {};
    EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 3u);
    std::fclose(f);
    EXPECT_EQ(std::string(buf), "new");
    EXPECT_EQ(RemoveFileUtf16(to), 1);
    EXPECT_EQ(RemoveFileUtf16(to), 0);
    EXPECT_EQ(ReplaceFileUtf16(from, to), 0);
}

}  // namespace
