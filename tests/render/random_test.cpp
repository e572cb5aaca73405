#include "render/random.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

std::vector<double> firstNumbers(int column, int row, int count) {
    SampleRandom random;
    random.start(column, row);
    std::vector<double> numbers;
    for (int i = 0; i < count; ++i) numbers.push_back(random.unit());
    return numbers;
}

// A sample's numbers depend on its key alone: starting the stream again, or drawing other
// samples' numbers in between, changes nothing.
TEST(SampleRandom, ASampleDrawsTheSameNumbersWhateverCameBefore) {
    const std::vector<double> alone = firstNumbers(17, 4, 20);
    SampleRandom random;
    random.start(3, 9);
    for (int i = 0; i < 7; ++i) random.unit();
    random.start(17, 4);
    for (double expected : alone) EXPECT_EQ(random.unit(), expected);
}

// Neighbouring samples, and a row and column swapped, get streams of their own; the rows above
// the picture (negative) too.
TEST(SampleRandom, DifferentSamplesDrawDifferentNumbers) {
    std::set<double> firsts;
    int samples = 0;
    for (int row = -1; row < 20; ++row) {
        for (int column = 0; column < 20; ++column, ++samples) {
            firsts.insert(firstNumbers(column, row, 1)[0]);
        }
    }
    EXPECT_EQ(firsts.size(), static_cast<std::size_t>(samples));
    EXPECT_NE(firstNumbers(2, 5, 3), firstNumbers(5, 2, 3));
}

// The numbers keep the scale of the C library's rand() over 2^31 - 1: within [0, 1], and
// spread over it evenly enough for jitter and soft shadows.
TEST(SampleRandom, NumbersFillTheUnitInterval) {
    constexpr int kDraws = 100000;
    constexpr int kBins = 10;
    int bins[kBins] = {};
    double sum = 0;
    SampleRandom random;
    for (int sample = 0; sample < kDraws / 10; ++sample) {
        random.start(sample % 317, sample / 317);
        for (int i = 0; i < 10; ++i) {
            const double u = random.unit();
            ASSERT_GE(u, 0);
            ASSERT_LE(u, 1);
            sum += u;
            ++bins[std::min(kBins - 1, static_cast<int>(u * kBins))];
        }
    }
    EXPECT_NEAR(sum / kDraws, 0.5, 0.01);
    for (int bin : bins) EXPECT_NEAR(bin, kDraws / kBins, kDraws / kBins / 10);
}

}  // namespace
