#include "accel/pqueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "model/fatal.h"
#include "model/globals.h"
#include "test_support.h"

namespace {

class PriorityQueueTest : public SceneTest {
  protected:
    std::vector<QueueEntry> slots = std::vector<QueueEntry>(128);
    int count = 0;
};

TEST_F(PriorityQueueTest, KeysLeaveInIncreasingOrder) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> keys(-20, 20);  // narrow on purpose: many equal keys
    std::vector<double> inserted;
    for (int i = 0; i < 100; ++i) {
        inserted.push_back(keys(rng) * 0.5);
        priorityQueueInsert(inserted.back(), nullptr, slots, count);
    }
    std::sort(inserted.begin(), inserted.end());
    for (double expected : inserted) EXPECT_EQ(priorityQueueDelete(slots, count).key, expected);
    EXPECT_EQ(count, 0);

    // The high-water mark keeps the largest count over all calls.
    priorityQueueInsert(0, nullptr, slots, count);
    EXPECT_EQ(maxQueueSize, 100);
}

// Which of several equal keys leaves first is fixed by the heap rules; the traversal's
// choice between equally near candidates depends on it.
TEST_F(PriorityQueueTest, EqualKeysFollowTheHeapRules) {
    struct Case {
        const char* what;
        std::vector<double> keys;  // inserted as nodes 0, 1, 2, ...
        std::string order;         // nodes in the order they leave
    };
    const Case cases[] = {
        {"climbing stops at an equal parent", {1, 1, 1}, "021"},
        {"sinking takes the right child of two equal ones", {0, 1, 1, 2}, "0213"},
    };
    ObjectRecord nodes[4]{};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (std::size_t i = 0; i < c.keys.size(); ++i) {
            priorityQueueInsert(c.keys[i], &nodes[i], slots, count);
        }
        std::string order;
        while (count > 0) order += char('0' + (priorityQueueDelete(slots, count).node - nodes));
        EXPECT_EQ(order, c.order);
    }
}

TEST_F(PriorityQueueTest, HoldsOneEntryLessThanItsSize) {
    for (int i = 0; i < 127; ++i) priorityQueueInsert(127 - i, nullptr, slots, count);
    EXPECT_EQ(maxQueueSize, 127);

    testing::internal::CaptureStderr();
    try {
        priorityQueueInsert(0, nullptr, slots, count);
        ADD_FAILURE() << "the 128th entry was accepted";
    } catch (const ProgramExit& exit) {
        EXPECT_EQ(exit.status(), 1);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\n\n LUMORA is out of space...\n"
              " Please use the -pqs or --pqsize switch to increase the priority queue size\n");
}

TEST_F(PriorityQueueTest, DeletingFromAnEmptyQueueEndsTheRun) {
    const Outcome outcome = captureRun([&] { return priorityQueueDelete(slots, count).key; });
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.output,
              " Priority queue is empty, dying...\n"
              " Please use the -pqs or --pqsize switch to increase the priority queue size\n");
}

}  // namespace
