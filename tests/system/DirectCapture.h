// Capture through the wave API in the test process itself, independent of
// the program: what the playback tests hear of the program's output (the
// default capture source is then the null sink's monitor), and a reference
// for what the platform delivers at a given format.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace direct_capture {

class Recorder {
public:
    Recorder(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t bufferBytes, int bufferCount = 8)
        : bufferBytes_(bufferBytes), buffers_(bufferCount) {
        format_.wFormatTag = WAVE_FORMAT_PCM;
        format_.nChannels = channels;
        format_.nSamplesPerSec = rate;
        format_.wBitsPerSample = bits;
        format_.nBlockAlign = WORD(bits / 8 * channels);
        format_.nAvgBytesPerSec = format_.nBlockAlign * rate;
        format_.cbSize = 0;
    }
    ~Recorder() { Stop(); }

    // Opens the default capture device and keeps every buffer queued from a
    // thread of its own; false with the wave API's code in Result() when the
    // device cannot be opened or started.
    bool Start() {
        data_.clear();
        bytes_ = 0;
        result_ = waveInOpen(&device_, WAVE_MAPPER, &format_, 0, 0, CALLBACK_NULL);
        if (result_ != MMSYSERR_NOERROR) return false;
        for (Buffer& b : buffers_) {
            b.bytes.assign(bufferBytes_, 0);
            b.header = WAVEHDR{};
            b.header.lpData = reinterpret_cast<LPSTR>(b.bytes.data());
            b.header.dwBufferLength = bufferBytes_;
            waveInPrepareHeader(device_, &b.header, sizeof(WAVEHDR));
            waveInAddBuffer(device_, &b.header, sizeof(WAVEHDR));
        }
        result_ = waveInStart(device_);
        if (result_ != MMSYSERR_NOERROR) return false;
        running_ = true;
        thread_ = std::thread([this] { Collect(); });
        return true;
    }

    // Stops and returns everything captured, whole buffers only.
    std::vector<uint8_t> Stop() {
        if (!device_) return data_;
        running_ = false;
        if (thread_.joinable()) thread_.join();
        waveInReset(device_);
        for (Buffer& b : buffers_) waveInUnprepareHeader(device_, &b.header, sizeof(WAVEHDR));
        waveInClose(device_);
        device_ = nullptr;
        return data_;
    }

    MMRESULT Result() const { return result_; }
    size_t Bytes() const { return bytes_; }
    // What was captured so far, while the capture goes on.
    std::vector<uint8_t> Captured() {
        std::lock_guard<std::mutex> lock(dataMutex_);
        return data_;
    }

private:
    struct Buffer {
        std::vector<uint8_t> bytes;
        WAVEHDR header{};
    };

    // Buffers come back in queue order; each is appended and queued again.
    void Collect() {
        size_t next = 0;
        while (running_) {
            Buffer& b = buffers_[next];
            if (!(b.header.dwFlags & WHDR_DONE)) {
                Sleep(2);
                continue;
            }
            {
                std::lock_guard<std::mutex> lock(dataMutex_);
                data_.insert(data_.end(), b.bytes.begin(), b.bytes.begin() + b.header.dwBytesRecorded);
                bytes_ = data_.size();
            }
            b.header.dwFlags &= ~WHDR_DONE;
            b.header.dwBytesRecorded = 0;
            waveInAddBuffer(device_, &b.header, sizeof(WAVEHDR));
            next = (next + 1) % buffers_.size();
        }
    }

    WAVEFORMATEX format_{};
    uint32_t bufferBytes_;
    std::vector<Buffer> buffers_;
    HWAVEIN device_ = nullptr;
    MMRESULT result_ = MMSYSERR_NOERROR;
    std::atomic<bool> running_{false};
    std::atomic<size_t> bytes_{0};
    std::thread thread_;
    std::mutex dataMutex_;
    std::vector<uint8_t> data_;
};

}  // namespace direct_capture
