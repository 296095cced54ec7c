// The line strip one trace of the detailed graph is written to. Platform-free.
#pragma once
#include <cstddef>
#include <functional>
#include <vector>

// Where one trace's vertices go: its strip, handed on in pieces of at most
// pieceVertices vertices as it grows when the caller takes them that way.
class StripWriter {
public:
    using PieceSink = std::function<void(int, std::vector<double>&)>;
    StripWriter(std::vector<double>& strip, int channel, const PieceSink& piece, size_t pieceVertices)
        : strip_(strip), channel_(channel), piece_(piece), pieceVertices_(pieceVertices) {}

    void Add(double x, double y) {
        strip_.push_back(x);
        strip_.push_back(y);
        if (piece_ && strip_.size() >= 2 * pieceVertices_) {
            piece_(channel_, strip_);
            // The next piece of the strip starts where this one ended.
            strip_.erase(strip_.begin(), strip_.end() - 2);
        }
    }
    // The trace is complete: what is left goes on too, so that each trace
    // is drawn whole before the next one starts.
    void Finish() {
        if (piece_ && strip_.size() >= 4) piece_(channel_, strip_);
        if (piece_) strip_.clear();
    }

private:
    std::vector<double>& strip_;
    int channel_;
    const PieceSink& piece_;
    size_t pieceVertices_;
};
