#include "sound/FileIo.h"

#include <cstdint>
#include <cwchar>
#include <filesystem>
#include <system_error>

std::string Utf8FromWide(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = uint32_t(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            const uint32_t low = uint32_t(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

FILE* OpenFileUtf16(const std::wstring& path, const char* mode) {
#ifdef _WIN32
    std::wstring wideMode;
    for (const char* p = mode; *p; ++p) wideMode += wchar_t(*p);
    return _wfopen(path.c_str(), wideMode.c_str());
#else
    return std::fopen(Utf8FromWide(path).c_str(), mode);
#endif
}

int ReplaceFileUtf16(const std::wstring& from, const std::wstring& to) {
#ifdef _WIN32
    // Replaces an existing target (MoveFileExW with MOVEFILE_REPLACE_EXISTING
    // underneath); _wrename would refuse it.
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(from), std::filesystem::path(to), error);
    return error ? 0 : 1;
#else
    // rename(2) replaces the target atomically: a reader sees the old file
    // or the new one, never a mixture.
    return std::rename(Utf8FromWide(from).c_str(), Utf8FromWide(to).c_str()) == 0 ? 1 : 0;
#endif
}

int RemoveFileUtf16(const std::wstring& path) {
#ifdef _WIN32
    return _wremove(path.c_str()) == 0 ? 1 : 0;
#else
    return std::remove(Utf8FromWide(path).c_str()) == 0 ? 1 : 0;
#endif
}
