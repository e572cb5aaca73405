#include "render/rows.h"

#include <climits>

RowScheduler::RowScheduler(std::span<const RowBand> bands)
    : left_(bands.begin(), bands.end()), last_(bands.size(), INT_MIN) {}

bool RowScheduler::next(int thread, int& row, bool& continues) {
    const std::lock_guard<std::mutex> lock(mutex_);
    RowBand& own = left_[thread];
    if (own.start >= own.end) {
        RowBand* fullest = &own;
        for (RowBand& band : left_) {
            if (band.end - band.start > fullest->end - fullest->start) fullest = &band;
        }
        if (fullest->start >= fullest->end) return false;
        // The other thread keeps the upper half, the rows just below those it is rendering.
        const int middle = fullest->start + (fullest->end - fullest->start) / 2;
        own = {middle, fullest->end};
        fullest->end = middle;
    }
    row = own.start++;
    continues = row == last_[thread] + 1;
    last_[thread] = row;
    return true;
}
