// Writes the seed files for the WAV reader fuzzer into the folder named on
// the command line: well-formed files of every depth and channel count, and
// the oddities real files and broken writers produce, so the fuzzer starts
// next to every branch of the reader.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/unit/WavFileBuilder.h"

using wavbuild::Bytes;
using wavbuild::Format;

namespace {

std::string folder;
int written = 0;

void Save(const std::string& name, const Bytes& b) {
    const std::string path = folder + "/" + name + ".wav";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(b.data.data(), 1, b.size(), f) != b.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    ++written;
}

Format Make(uint16_t channels, uint32_t rate, uint16_t bits) {
    Format f;
    f.channels = channels;
    f.rate = rate;
    f.bits = bits;
    return f;
}

// Small data so the fuzzer's inputs stay short: two fragments and a bit at
// the lowest rate.
constexpr uint32_t Data = 2 * 800 + 37;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    folder = argv[1];

    for (uint16_t bits : {8, 12, 16, 24, 32})
        for (uint16_t channels : {1, 2})
            Save("canonical-" + std::to_string(bits) + "bit-" + std::to_string(channels) + "ch",
                 wavbuild::Canonical(Make(channels, 8000, bits), Data));
    Save("canonical-11025-8bit", wavbuild::Canonical(Make(1, 11025, 8), 600));
    Save("canonical-22050-stereo", wavbuild::Canonical(Make(2, 22050, 16), 4500));
    Save("rate-8010", wavbuild::Canonical(Make(1, 8010, 16), 2000));

    const Format base = Make(1, 8000, 8);
    {
        Bytes b = wavbuild::Start(base, 18, {0, 0});
        b.Id("data").U32(Data).Pattern(Data);
        Save("fmt18-cbsize", b);
        Bytes c = wavbuild::Start(base, 18, {22, 0});
        c.Id("data").U32(Data).Pattern(Data);
        Save("fmt18-cbsize22", c);
        Bytes d = wavbuild::Start(base, 40, std::vector<uint8_t>(24, 1));
        d.Id("data").U32(Data).Pattern(Data);
        Save("fmt40-extensible-body", d);
    }
    {
        Bytes b = wavbuild::Start(base);
        b.Id("fact").U32(4).U32(Data).Id("data").U32(Data).Pattern(Data);
        Save("fact", b);
        Bytes c = wavbuild::Start(base);
        c.Id("fact").U32(4).U32(1).Id("fact").U32(4).U32(1).Id("data").U32(Data).Pattern(Data);
        Save("fact-twice", c);
        Bytes d = wavbuild::Start(base);
        d.Id("fact").U32(0xFFFFFFF0u).Id("data").U32(Data).Pattern(Data);
        Save("fact-huge", d);
    }
    {
        Bytes b;
        b.Id("RIFF").U32(0).Id("WAVE").Chunk("LIST", {'I', 'N', 'F', 'O'});
        b.Id("fmt ").U32(16).Raw(base.Body()).Id("data").U32(Data).Pattern(Data);
        Save("list-before-fmt", b);
        Bytes c;
        c.Id("RIFF").U32(0).Id("WAVE").Chunk("JUNK", std::vector<uint8_t>(28, 0));
        c.Id("fmt ").U32(16).Raw(base.Body()).Id("data").U32(Data).Pattern(Data);
        Save("junk-before-fmt", c);
        Bytes d = wavbuild::Start(base);
        d.Chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 1, 0, 0, 0, 'x', 0}).Id("data").U32(Data).Pattern(Data);
        Save("list-after-fmt", d);
        Bytes e = wavbuild::Start(base);
        e.Chunk("JUNK", std::vector<uint8_t>(5, 0)).Id("data").U32(Data).Pattern(Data);
        Save("junk-after-fmt-odd", e);
    }
    {
        Bytes b = wavbuild::Start(base, 17, {0});
        b.Id("data").U32(Data).Pattern(Data);
        Save("fmt-odd-size", b);
        Bytes c = wavbuild::Start(base);
        c.Id("data").U32(Data | 1).Pattern(Data | 1).Fill(1, 0).Chunk("LIST", {'I', 'N', 'F', 'O'});
        Save("data-odd-size-padded", c);
    }
    for (uint32_t declared : {0u, 99u, 100u, 0xFFFFFFFFu})
        Save("data-size-" + std::to_string(declared), wavbuild::Canonical(base, declared, declared > 5000 ? 1000 : declared));
    Save("data-larger-than-file", wavbuild::Canonical(base, 50000, 1234));
    Save("data-present-50", wavbuild::Canonical(base, 1000, 50));
    for (uint32_t size : {0u, 1u, 15u, 0xFFFFFFFFu}) {
        Bytes b = wavbuild::Start(base, size);
        b.Id("data").U32(Data).Pattern(Data);
        Save("fmt-size-" + std::to_string(int32_t(size)), b);
    }
    {
        Format f = base;
        f.channels = 0;
        Save("zero-channels", wavbuild::Canonical(f, Data));
        f = base;
        f.rate = 0;
        Save("zero-rate", wavbuild::Canonical(f, Data));
        f = base;
        f.blockAlign = 0xFFFF;  // an impossible value; the reader only logs it
        f.avgBytes = 1;
        Save("odd-block-align", wavbuild::Canonical(f, Data));
        f = base;
        f.tag = 0xFFFE;
        Save("extensible-tag", wavbuild::Canonical(f, Data));
        f = base;
        f.tag = 3;
        f.bits = 32;
        Save("float-tag", wavbuild::Canonical(f, Data));
    }
    {
        Bytes b = wavbuild::Canonical(base, Data);
        b.Id("TAG").Fill(124, ' ');  // an ID3v1 tag after the data ("TAG" plus one byte)
        Save("id3v1-at-end", b);
        Bytes c = wavbuild::Canonical(base, Data);
        c.Id("id3 ").U32(10).Raw({'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0});
        Save("id3-chunk-at-end", c);
    }
    Save("empty", Bytes{});
    {
        Bytes b;
        b.Id("RIFF");
        Save("riff-only", b);
    }
    std::printf("%d corpus files in %s\n", written, folder.c_str());
    return 0;
}
