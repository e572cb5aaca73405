#pragma once

#include <mutex>
#include <span>
#include <vector>

#include "model/records.h"

// Hands out the rows of the picture to the render threads. Thread k starts at the top of its
// band and works down it; a thread whose rows are done takes over the lower half of the rows
// left to the thread that has most, so every thread stays busy whatever part of the picture
// holds the work, and each still renders long runs of consecutive rows, which the scan
// routines' caches are made for. Which thread renders a row changes nothing in the picture.
class RowScheduler {
  public:
    explicit RowScheduler(std::span<const RowBand> bands);

    // The next row for thread `thread`; false when every row is taken. `continues` tells
    // whether the row follows the row this thread took last, so that what it kept of that
    // row is still of use.
    bool next(int thread, int& row, bool& continues);

  private:
    std::mutex mutex_;
    std::vector<RowBand> left_;  // each thread's rows not yet taken
    std::vector<int> last_;      // the row each thread took last
};
