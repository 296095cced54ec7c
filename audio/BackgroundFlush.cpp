#include "audio/BackgroundFlush.h"

#include <system_error>
#include <utility>

BackgroundFlush::BackgroundFlush(std::function<unsigned long()> flush) : flush_(std::move(flush)) {
    try {
        thread_ = std::thread(&BackgroundFlush::Run, this);
    } catch (const std::system_error&) {
        // Left without a thread: Running() says so.
    }
}

unsigned long BackgroundFlush::Finish() {
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    return Error();
}

void BackgroundFlush::Request() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requested_ = true;
    }
    wake_.notify_one();
}

unsigned long BackgroundFlush::Error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

void BackgroundFlush::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return requested_ || quit_; });
        if (quit_) return;
        requested_ = false;
        if (error_) continue;  // the copy stops at the first failure
        lock.unlock();
        const unsigned long error = flush_();
        lock.lock();
        error_ = error;
    }
}
