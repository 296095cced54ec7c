#include "sound/RecoveryCopy.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "sound/SoundChain.h"
#include "sound/WavReader.h"
#include "sound/WavWriter.h"

namespace {

const wchar_t* const NamePrefix = L"Запись ";

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// The header's fixed parts: its chunk names and the fmt chunk's size.
struct FixedPart {
    size_t offset;
    const char* bytes;
    size_t size;
};
const FixedPart FixedParts[] = {{0, "RIFF", 4}, {8, "WAVEfmt ", 8}, {16, "\x10\0\0\0", 4}, {36, "data", 4}};

// Whether the first `size` bytes of a header agree with every fixed part
// they reach.
bool FixedPartsAgree(const uint8_t* header, size_t size) {
    for (const FixedPart& part : FixedParts) {
        if (part.offset >= size) continue;
        const size_t n = size - part.offset < part.size ? size - part.offset : part.size;
        if (std::memcmp(header + part.offset, part.bytes, n) != 0) return false;
    }
    return true;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool ReadTwoDigits(const std::wstring& text, size_t at, int* value) {
    if (at + 2 > text.size() || !IsDigit(text[at]) || !IsDigit(text[at + 1])) return false;
    *value = (text[at] - L'0') * 10 + (text[at + 1] - L'0');
    return true;
}

std::wstring Padded(int value, int width) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%0*d", width, value);
    return text;
}

}  // namespace

std::wstring RecoveryCopyName(const RecoveryTime& made, int serial) {
    std::wstring name = NamePrefix + Padded(made.year, 4) + L"-" + Padded(made.month, 2) + L"-" +
                        Padded(made.day, 2) + L" " + Padded(made.hour, 2) + L"-" + Padded(made.minute, 2) + L"-" +
                        Padded(made.second, 2);
    if (serial > 1) name += L" (" + std::to_wstring(serial) + L")";
    return name + L".wav";
}

bool ParseRecoveryCopyName(const std::wstring& name, RecoveryTime* made, int* serial) {
    const std::wstring prefix = NamePrefix;
    // "Запись YYYY-MM-DD hh-mm-ss" then ".wav" or " (n).wav"
    const size_t stamp = prefix.size();
    if (name.compare(0, stamp, prefix) != 0 || name.size() < stamp + 19 + 4) return false;
    RecoveryTime t;
    int century = 0, year = 0;
    const bool digits = ReadTwoDigits(name, stamp, &century) && ReadTwoDigits(name, stamp + 2, &year) &&
                        ReadTwoDigits(name, stamp + 5, &t.month) && ReadTwoDigits(name, stamp + 8, &t.day) &&
                        ReadTwoDigits(name, stamp + 11, &t.hour) && ReadTwoDigits(name, stamp + 14, &t.minute) &&
                        ReadTwoDigits(name, stamp + 17, &t.second);
    if (!digits || name[stamp + 4] != L'-' || name[stamp + 7] != L'-' || name[stamp + 10] != L' ' ||
        name[stamp + 13] != L'-' || name[stamp + 16] != L'-')
        return false;
    t.year = century * 100 + year;
    int n = 1;
    const std::wstring rest = name.substr(stamp + 19);
    if (rest != L".wav") {
        if (rest.size() < 8 || rest.compare(0, 2, L" (") != 0 || rest.compare(rest.size() - 5, 5, L").wav") != 0)
            return false;
        const std::wstring number = rest.substr(2, rest.size() - 7);
        if (number.empty() || number.size() > 4) return false;
        n = 0;
        for (wchar_t c : number) {
            if (!IsDigit(c)) return false;
            n = n * 10 + (c - L'0');
        }
        if (n < 2) return false;
    }
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 || t.second > 60)
        return false;
    *made = t;
    *serial = n;
    return true;
}

std::wstring RecoveryTimeText(const RecoveryTime& made) {
    return Padded(made.day, 2) + L"." + Padded(made.month, 2) + L"." + Padded(made.year, 4) + L" " +
           Padded(made.hour, 2) + L":" + Padded(made.minute, 2) + L":" + Padded(made.second, 2);
}

int64_t RecoveryTimeKey(const RecoveryTime& made, int serial) {
    int64_t key = made.year;
    for (int part : {made.month, made.day, made.hour, made.minute, made.second}) key = key * 100 + part;
    return key * 10000 + serial;
}

double RecoveryPlan::DurationMs() const {
    return BytesToMsFor(double(dataBytes), format.nSamplesPerSec, format.wBitsPerSample, format.nChannels);
}

RecoveryPlan PlanRecovery(const uint8_t* header, size_t headerBytes, uint64_t fileLength) {
    RecoveryPlan plan;
    const size_t have = headerBytes < fileLength ? headerBytes : size_t(fileLength);
    if (have < WavHeaderBytes) {
        // Only a power cut during the header's own write leaves this, and
        // then what is there is the start of the header.
        plan.kind = fileLength < WavHeaderBytes && FixedPartsAgree(header, have) ? RecoveryKind::Empty
                                                                                 : RecoveryKind::Unreadable;
        return plan;
    }
    if (!FixedPartsAgree(header, WavHeaderBytes)) return plan;
    plan.format = ParseFormatRecord(header + 20);
    const WaveFormatRecord& f = plan.format;
    const uint16_t bits = f.wBitsPerSample;
    if (f.wFormatTag != WaveFormatPcm || (f.nChannels != 1 && f.nChannels != 2) || f.nSamplesPerSec < 8000 ||
        f.nSamplesPerSec > 192000 || (bits != 8 && bits != 16 && bits != 24 && bits != 32) ||
        f.nBlockAlign != f.nChannels * (bits / 8))
        return plan;
    plan.declaredBytes = Le32(header + WavDataSizeOffset);
    plan.fragmentSize = LoadedFragmentSize(f);
    const uint64_t data = fileLength - WavHeaderBytes;
    uint64_t fragments = data / plan.fragmentSize;
    while (fragments > 0 && !FitsInWavFile(fragments * plan.fragmentSize)) --fragments;
    plan.fragments = uint32_t(fragments);
    plan.dataBytes = uint32_t(fragments * plan.fragmentSize);
    plan.tornBytes = data - plan.dataBytes;
    plan.kind = fragments > 0 ? RecoveryKind::Recoverable : RecoveryKind::Empty;
    return plan;
}

bool RecoveryCopyHasRoom(uint64_t dataBytes, uint32_t fragmentSize) {
    return FitsInWavFile(dataBytes + fragmentSize);
}

const wchar_t* const RecoveryOfferCaption = L"Восстановление записи";

std::wstring RecoveryOfferText(const RecoveryTime& made, double durationMs) {
    return L"Найдена несохранённая запись от " + RecoveryTimeText(made) + L"\nДлительность - " +
           MinutesSecondsText(durationMs) +
           L"\n\nОткрыть её?\n  Да - открыть запись\n  Нет - удалить её\n  Отмена - спросить при следующем запуске";
}

std::wstring RecoveredLine(const RecoveryPlan& plan) {
    std::wstring line = L" Восстановлено из копии: " + MinutesSecondsText(plan.DurationMs()) + L" (" +
                        std::to_wstring(plan.fragments) + L" фрагм.)";
    if (plan.tornBytes) line += L", отброшено " + std::to_wstring(plan.tornBytes) + L" байт";
    return line;
}
