// The yardstick of a save: what a plain Windows program spends writing bytes
// it holds in memory to a new file with WriteFile in pieces of a megabyte,
// closing it (which flushes it) and nothing more.
#pragma once
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace plain {

constexpr DWORD Piece = 1u << 20;

inline double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// The whole file in memory; false when it cannot be read.
inline bool ReadWhole(const wchar_t* path, std::vector<char>& bytes) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) != 0;
    if (ok) bytes.resize(size_t(size.QuadPart));
    size_t have = 0;
    DWORD got = 0;
    while (ok && have < bytes.size() &&
           ReadFile(file, bytes.data() + have, DWORD(std::min<size_t>(Piece, bytes.size() - have)), &got, nullptr) &&
           got > 0)
        have += got;
    CloseHandle(file);
    return ok && have == bytes.size();
}

// Writes the bytes to a new file at `out` and deletes it again; the ms the
// creating, writing and closing took, or a negative value when that failed.
inline double WriteMs(const std::vector<char>& bytes, const wchar_t* out) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    HANDLE target = CreateFileW(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE) return -1;
    for (size_t done = 0; done < bytes.size();) {
        DWORD put = 0;
        if (!WriteFile(target, bytes.data() + done, DWORD(std::min<size_t>(Piece, bytes.size() - done)), &put,
                       nullptr) ||
            put == 0) {
            CloseHandle(target);
            DeleteFileW(out);
            return -1;
        }
        done += put;
    }
    CloseHandle(target);
    QueryPerformanceCounter(&end);
    DeleteFileW(out);
    return Milliseconds(start, end);
}

}  // namespace plain
