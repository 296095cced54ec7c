// The yardstick of the Wine figures: what a plain Windows program spends
// moving the same bytes with ReadFile / WriteFile in pieces of a megabyte,
// under the same Wine on the same machine.
//
//   plain_file_io read FILE         reads FILE through, prints the ms taken
//   plain_file_io hold FILE         the same into memory the size of the file
//   plain_file_io fragments FILE N  the same into separate N-byte blocks, copied
//                                   out of the pieces (what holding a sound as
//                                   a chain of fragments costs at the least)
//   plain_file_io write FILE OUT    holds FILE in memory, then writes it to OUT
//                                   (created, flushed by the close) and prints
//                                   the ms the writing and closing took
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "PlainWrite.h"

namespace {

using plain::Milliseconds;
using plain::Piece;

HANDLE OpenForReading(const wchar_t* path) {
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int ReadThrough(const wchar_t* path) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    HANDLE file = OpenForReading(path);
    if (file == INVALID_HANDLE_VALUE) return 2;
    std::vector<char> buffer(Piece);
    unsigned long long total = 0;
    DWORD got = 0;
    while (ReadFile(file, buffer.data(), Piece, &got, nullptr) && got > 0) total += got;
    CloseHandle(file);
    QueryPerformanceCounter(&end);
    std::printf("read_ms %.1f\nread_bytes %llu\n", Milliseconds(start, end), total);
    return 0;
}

// Reads FILE in pieces into memory that stays: one block of the file's size
// (fragmentBytes 0), or separate blocks of fragmentBytes each.
int ReadHolding(const wchar_t* path, size_t fragmentBytes) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    HANDLE file = OpenForReading(path);
    if (file == INVALID_HANDLE_VALUE) return 2;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) return 2;
    const size_t total = size_t(size.QuadPart);
    std::vector<char*> blocks;
    std::vector<char> piece(Piece);
    char* whole = fragmentBytes ? nullptr : new char[total];
    size_t have = 0;
    char* block = nullptr;
    size_t inBlock = 0;
    DWORD got = 0;
    while (have < total && ReadFile(file, whole ? whole + have : piece.data(),
                                    DWORD(std::min<size_t>(Piece, total - have)), &got, nullptr) && got > 0) {
        for (size_t at = 0; !whole && at < got;) {
            if (!block || inBlock == fragmentBytes) {
                block = new char[fragmentBytes];
                blocks.push_back(block);
                inBlock = 0;
            }
            const size_t count = std::min<size_t>(fragmentBytes - inBlock, got - at);
            std::memcpy(block + inBlock, piece.data() + at, count);
            inBlock += count;
            at += count;
        }
        have += got;
    }
    CloseHandle(file);
    QueryPerformanceCounter(&end);
    std::printf("%s_ms %.1f\n", whole ? "hold" : "fragments", Milliseconds(start, end));
    delete[] whole;
    for (char* b : blocks) delete[] b;
    return 0;
}

int WriteCopy(const wchar_t* path, const wchar_t* out) {
    std::vector<char> bytes;
    if (!plain::ReadWhole(path, bytes)) return 2;
    const double ms = plain::WriteMs(bytes, out);
    if (ms < 0) return 3;
    std::printf("write_ms %.1f\nwrite_bytes %llu\n", ms, (unsigned long long)bytes.size());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"read") == 0) return ReadThrough(argv[2]);
    if (argc == 3 && std::wcscmp(argv[1], L"hold") == 0) return ReadHolding(argv[2], 0);
    if (argc == 4 && std::wcscmp(argv[1], L"fragments") == 0) return ReadHolding(argv[2], size_t(_wtoi(argv[3])));
    if (argc == 4 && std::wcscmp(argv[1], L"write") == 0) return WriteCopy(argv[2], argv[3]);
    std::fprintf(stderr, "usage: plain_file_io read FILE | hold FILE | fragments FILE N | write FILE OUT\n");
    return 1;
}
