// Feeds arbitrary bytes to the WAV reader and checks, after every input, that
// it either refused and left the previous sound exactly as it was, or loaded
// a sound made only of the file's data bytes and silence, in whole fragments,
// with totals that match the chain.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sound/Narration.h"
#include "sound/SoundChain.h"
#include "sound/WavReader.h"
#include "tests/unit/WavFileBuilder.h"

namespace {

#define CHECK(cond)                                                          \
    do {                                                                     \
        if (!(cond)) {                                                       \
            std::fprintf(stderr, "invariant broken: %s (line %d)\n", #cond, __LINE__); \
            std::abort();                                                    \
        }                                                                    \
    } while (0)

// The sound every input is loaded over: 8000 Hz 8-bit stereo, three
// fragments, loaded through the reader itself.
std::vector<uint8_t> previousFile;

struct Snapshot {
    const SoundFragment* head;
    SoundChain fields;
    std::vector<uint8_t> bytes;
    int fragments;
};
Snapshot previous;

Snapshot Take() {
    Snapshot s{Sound.Head, Sound, {}, 0};
    for (const SoundFragment* f = Sound.Head; f; f = f->Next) {
        s.bytes.insert(s.bytes.end(), f->Data, f->Data + Sound.FragmentSize);
        ++s.fragments;
    }
    return s;
}

void LoadPrevious() {
    MemoryWavInput input(previousFile.data(), previousFile.size());
    CHECK(LoadWavFrom(input) == 1);
    Sound.PlayedBytes = Sound.FragmentSize;  // mid-playback, so a reset would show
    Sound.PlayedMs = BytesToMs(Sound.PlayedBytes);
    Sound.Current = Sound.Head->Next;
    previous = Take();
}

bool SameFields(const SoundChain& a, const SoundChain& b) {
    return a.Head == b.Head && a.Current == b.Current && a.FragmentSize == b.FragmentSize &&
           a.Channels == b.Channels && a.SamplesPerSec == b.SamplesPerSec && a.BitsPerSample == b.BitsPerSample &&
           a.TotalBytes == b.TotalBytes && a.TotalMs == b.TotalMs && a.PlayedBytes == b.PlayedBytes &&
           a.PlayedMs == b.PlayedMs && std::memcmp(&a.CaptureFormat, &b.CaptureFormat, sizeof a.CaptureFormat) == 0 &&
           std::memcmp(&a.PlaybackFormat, &b.PlaybackFormat, sizeof a.PlaybackFormat) == 0;
}

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

// An accepted file, worked out independently of the reader: where its data
// starts and how many data bytes it really has.
void CheckLoaded(const uint8_t* data, size_t size) {
    CHECK(size >= 44);
    const int32_t fmtSize = int32_t(Le32(data + 16));
    CHECK(fmtSize >= 16);
    uint64_t pos = 20 + uint64_t(fmtSize);
    CHECK(pos + 8 <= size);
    if (std::memcmp(data + pos, "fact", 4) == 0) {
        pos += 8 + uint64_t(Le32(data + pos + 4));
        CHECK(pos + 8 <= size);
    }
    CHECK(std::memcmp(data + pos, "data", 4) == 0);
    const uint32_t declared = Le32(data + pos + 4);
    const uint64_t start = pos + 8;
    const uint64_t present = std::min<uint64_t>(declared, size - start);
    CHECK(declared >= 100 && present >= 100);

    const uint16_t channels = Le16(data + 22), bits = Le16(data + 34);
    const uint32_t rate = Le32(data + 24);
    // Fragments hold whole frames: the 50 ms size rounded down to them.
    const uint32_t frameBytes = uint32_t(bits / 8) * channels;
    uint32_t fragment = ComputeFragmentSize(channels, rate, bits);
    if (frameBytes > 1) fragment -= fragment % frameBytes;
    CHECK(Sound.FragmentSize == fragment);
    CHECK(Sound.Channels == channels && Sound.SamplesPerSec == rate && Sound.BitsPerSample == bits);
    CHECK(std::memcmp(&Sound.PlaybackFormat, data + 20, 16) == 0 && Sound.PlaybackFormat.cbSize == 0);
    CHECK(std::memcmp(&Sound.CaptureFormat, &Sound.PlaybackFormat, sizeof Sound.PlaybackFormat) == 0);
    CHECK(Sound.Current == nullptr && Sound.PlayedBytes == 0 && Sound.PlayedMs == 0);

    const uint64_t count = present >= fragment ? present / fragment : 1;
    const Snapshot now = Take();
    CHECK(uint64_t(now.fragments) == count);
    CHECK(Sound.TotalBytes == double(count) * fragment);
    CHECK(Sound.TotalMs == BytesToMsFor(Sound.TotalBytes, rate, bits, channels));
    const uint8_t silence = SilenceByte(bits);
    for (uint64_t i = 0; i < now.bytes.size(); ++i)
        CHECK(now.bytes[i] == (i < present ? data[start + i] : silence));
}

bool Init() {
    SetLogSink([](const std::wstring&) {});
    wavbuild::Format f;
    f.channels = 2;
    f.rate = 8000;
    f.bits = 8;
    previousFile = wavbuild::Canonical(f, 3 * 800).data;
    LoadPrevious();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = Init();
    (void)ready;
    MemoryWavInput input(data, size);
    if (LoadWavFrom(input) == 0) {
        const Snapshot now = Take();
        CHECK(SameFields(now.fields, previous.fields));
        CHECK(now.head == previous.head && now.bytes == previous.bytes && now.fragments == previous.fragments);
        return 0;
    }
    CheckLoaded(data, size);
    LoadPrevious();
    return 0;
}
