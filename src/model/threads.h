#pragma once
// Work shared out over the threads of a phase of the load.

#include <algorithm>
#include <future>
#include <vector>

#include "model/globals.h"

// The threads of the load's phases: as many as the render will use, one in lumora.
inline int loadThreads() {
    return multiThreaded ? std::max(numThreads, 1) : 1;
}

// Runs work(thread) for every thread from 0 to threads - 1 at once, thread 0 on the calling
// thread, and returns once all of them have ended. An exception that ends one of them reaches
// the caller after every other has ended too.
template <typename Work>
void onThreads(int threads, const Work& work) {
    std::vector<std::future<void>> helpers;
    for (int thread = 1; thread < threads; ++thread) {
        helpers.push_back(std::async(std::launch::async, work, thread));
    }
    work(0);
    for (std::future<void>& helper : helpers) helper.get();
}
