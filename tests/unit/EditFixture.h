// Shared by the edit tests: a fixture that records what the edits narrate and
// restores the process-wide sound, and a chain built from given bytes.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sound/Narration.h"
#include "sound/SoundChain.h"

struct AlertRecord {
    std::wstring text;
    std::wstring caption;
    unsigned flags;
};

class EditFixture : public ::testing::Test {
protected:
    void SetUp() override {
        saved = Sound;
        Sound.Head = nullptr;
        Sound.Current = nullptr;
        SetLogSink([this](const std::wstring& line) { log.push_back(line); });
        SetAlertSink([this](const std::wstring& text, const std::wstring& caption, unsigned flags) {
            alerts.push_back({text, caption, flags});
        });
    }
    void TearDown() override {
        SetLogSink(nullptr);
        SetAlertSink(nullptr);
        Sound = saved;
    }
    void SetFormat(uint16_t channels, uint16_t bits, uint32_t rate = 44100) {
        Sound.Channels = channels;
        Sound.BitsPerSample = bits;
        Sound.SamplesPerSec = rate;
    }

    std::vector<std::wstring> log;
    std::vector<AlertRecord> alerts;

private:
    SoundChain saved;
};

// A chain whose fragments hold the given bytes; every fragment is a heap
// array of exactly its size, so a sanitizer sees any access past its end.
// Frees what is still linked from head() at the end unless released.
class TestChain {
public:
    TestChain(const std::vector<std::vector<uint8_t>>& fragments) {
        SoundFragment* prev = nullptr;
        for (const auto& bytes : fragments) {
            SoundFragment* f = AllocateFragment(uint32_t(bytes.size()));
            if (!bytes.empty()) std::memcpy(f->Data, bytes.data(), bytes.size());
            if (prev) prev->Next = f;
            else head_ = f;
            prev = f;
            nodes_.push_back(f);
        }
    }
    ~TestChain() { FreeChain(head_); }
    TestChain(const TestChain&) = delete;
    TestChain& operator=(const TestChain&) = delete;

    SoundFragment* head() const { return head_; }
    SoundFragment* node(size_t i) const { return nodes_[i]; }
    // Hand ownership to someone else (CutSound moves the head).
    void Release() { head_ = nullptr; }
    std::vector<uint8_t> Bytes(size_t i, size_t size) const {
        return std::vector<uint8_t>(nodes_[i]->Data, nodes_[i]->Data + size);
    }

private:
    SoundFragment* head_ = nullptr;
    std::vector<SoundFragment*> nodes_;
};

inline std::vector<uint8_t> Bytes16(const std::vector<int>& samples) {
    std::vector<uint8_t> out;
    for (int s : samples) {
        out.push_back(uint8_t(s & 0xFF));
        out.push_back(uint8_t((s >> 8) & 0xFF));
    }
    return out;
}

inline std::vector<int> Samples16(const SoundFragment* f, size_t count) {
    std::vector<int> out;
    for (size_t i = 0; i < count; ++i) out.push_back(int16_t(uint16_t(f->Data[2 * i] | (f->Data[2 * i + 1] << 8))));
    return out;
}
