// The text progress bar of a render: a scale line, then six marks for every tenth of the rows.

#include <algorithm>
#include <cstdio>

#include "model/globals.h"
#include "render/scan.h"

namespace {

constexpr int kProgressSteps = 10;

// U+2592 (medium shade) six times, in UTF-8.
constexpr char kMarkGroup[] =
    "\xE2\x96\x92\xE2\x96\x92\xE2\x96\x92\xE2\x96\x92\xE2\x96\x92\xE2\x96\x92";

}  // namespace

void showProgressInit() {
    // Ten groups of six marks are 60 characters. A height that is not a multiple of ten gets
    // an eleventh group for its last rows, which the longer scale leaves room for.
    if (myDisplay.height % kProgressSteps == 0)
        std::printf("\n 0%%------------------------------------------------------100%%\n ");
    else
        std::printf("\n 0%%------------------------------------------------------------100%%\n ");
}

void showProgress(int row) {
    // Under ten rows the step height / 10 would be 0: every row then gets its group of marks.
    const int step = std::max(1, myDisplay.height / kProgressSteps);
    if (row % step != 0) return;
    // One call per group: stdio locks the stream for each call, so the marks of concurrent
    // bands never interleave in the middle of a multi-byte character.
    std::fputs(kMarkGroup, stdout);
    std::fflush(stdout);
}
