#pragma once

#include <cstdint>

// Every random draw of the renderer (jitter, aperture, soft shadows, fuzzy reflections) comes
// from a counter-based stream keyed by the image sample it serves: the n-th number drawn for
// a sample is a hash of the sample's key and n. Nothing is shared between threads and nothing
// is locked, and a sample draws the same numbers whichever thread, band or machine renders
// it, so a picture is the same on every run with any number of threads.
//
// Numbers keep the scale of the C library's rand(): integers from 0 to 2^31 - 1, divided by
// 2147483647 into [0, 1].
constexpr double kRandMax = 2147483647.0;

class SampleRandom {
  public:
    // Starts the stream of the sample at lattice point (column, row). Samples of one picture
    // lie on one lattice (pixel centres, or the quarter-pixel lattice of adaptive
    // anti-aliasing), so each point has its own key; the rows above the picture that quick
    // anti-aliasing samples have negative numbers and keys of their own too.
    void start(int column, int row) {
        const std::uint64_t key = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(row))
                                   << 32) |
                                  static_cast<std::uint32_t>(column);
        base_ = mix(key);
        counter_ = 0;
    }

    // The next number of the stream, in [0, 1].
    double unit() { return static_cast<double>(next31()) / kRandMax; }

    // Passes over the next `draws` numbers.
    void skip(std::uint64_t draws) { counter_ += draws; }

  private:
    // SplitMix64's finaliser: every bit of the input reaches every bit of the output.
    static constexpr std::uint64_t mix(std::uint64_t z) {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // The stream walks its key's base by the golden-ratio increment, one step per draw.
    std::uint32_t next31() {
        ++counter_;
        return static_cast<std::uint32_t>(mix(base_ + counter_ * 0x9E3779B97F4A7C15ull) >> 33);
    }

    std::uint64_t base_ = mix(0);
    std::uint64_t counter_ = 0;
};
