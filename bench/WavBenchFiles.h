// The large sound the file benchmarks work on: one hour of 44100 Hz 16-bit
// stereo (635,040,000 data bytes), written once to /tmp and reused by later
// runs.
#pragma once
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace benchfiles {

constexpr uint16_t Channels = 2;
constexpr uint32_t Rate = 44100;
constexpr uint16_t Bits = 16;
constexpr uint32_t DataBytes = 3600u * Rate * Channels * (Bits / 8);  // 635,040,000
constexpr uint32_t FragmentSize = 8820;                               // 50 ms of this format

inline const char* HourFile() { return "/tmp/dudorori-bench-1h.wav"; }

// Output files go to memory-backed /dev/shm when there is one, so the
// writes measure the program rather than the disk's write-back.
inline std::string OutputFolder() {
    struct stat st;
    return stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
}

inline void PutLe(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// Writes the hour-long file unless it is already there with the right size.
inline void EnsureHourFile() {
    struct stat st;
    if (stat(HourFile(), &st) == 0 && uint64_t(st.st_size) == 44ull + DataBytes) return;
    std::vector<uint8_t> header;
    header.insert(header.end(), {'R', 'I', 'F', 'F'});
    PutLe(header, DataBytes + 36, 4);
    header.insert(header.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLe(header, 16, 4);
    PutLe(header, 1, 2);
    PutLe(header, Channels, 2);
    PutLe(header, Rate, 4);
    PutLe(header, Rate * Channels * (Bits / 8), 4);
    PutLe(header, Channels * (Bits / 8), 2);
    PutLe(header, Bits, 2);
    header.insert(header.end(), {'d', 'a', 't', 'a'});
    PutLe(header, DataBytes, 4);
    FILE* f = std::fopen(HourFile(), "wb");
    if (!f) std::abort();
    std::fwrite(header.data(), 1, header.size(), f);
    // A slow sweep, so the bytes are not all alike.
    std::vector<uint8_t> block(1 << 20);
    for (size_t i = 0; i < block.size(); i += 2) {
        const int16_t v = int16_t((i * 37) % 60000 - 30000);
        block[i] = uint8_t(v);
        block[i + 1] = uint8_t(uint16_t(v) >> 8);
    }
    for (uint32_t left = DataBytes; left > 0;) {
        const uint32_t n = left < block.size() ? left : uint32_t(block.size());
        if (std::fwrite(block.data(), 1, n, f) != n) std::abort();
        left -= n;
    }
    if (std::fclose(f) != 0) std::abort();
}

inline std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

}  // namespace benchfiles
