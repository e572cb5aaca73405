#pragma once
// Work shared out over the threads of a phase of the load.

#include <future>
#include <vector>

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
