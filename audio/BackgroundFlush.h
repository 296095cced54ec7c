// Runs a flush to the disk on a thread of its own, one at a time. A flush
// waits for the disk, and on a busy machine the disk takes seconds: the
// kernel writes other programs' data out with ours. The recovery copy's
// writer must not wait with it, or a crash or a kill in those seconds would
// lose the fragments it had not yet handed to the file; what is handed to
// the file survives the end of the process either way.
#pragma once
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class BackgroundFlush {
public:
    // `flush` returns 0, or the error code that made it fail.
    explicit BackgroundFlush(std::function<unsigned long()> flush);
    ~BackgroundFlush() { Finish(); }
    BackgroundFlush(const BackgroundFlush&) = delete;
    BackgroundFlush& operator=(const BackgroundFlush&) = delete;

    // False when the thread could not start: the caller then flushes itself.
    bool Running() const { return thread_.joinable(); }
    // Asks for a flush and returns at once. Asked while one is under way,
    // it makes one more flush after that one, however often it was asked.
    void Request();
    // The error of the first flush that failed, or 0.
    unsigned long Error();
    // Waits for the flush under way, if any, skips any asked for after it,
    // ends the thread and returns Error().
    unsigned long Finish();

private:
    void Run();

    std::function<unsigned long()> flush_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool requested_ = false;
    bool quit_ = false;
    unsigned long error_ = 0;
    std::thread thread_;  // last: starts once the members it reads exist
};
