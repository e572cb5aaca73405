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

class PriorityQueueTest : public SceneTest {};

// The node ref that stands for entry i.
NodeRef entry(int i) {
    return NodeRef::node(static_cast<std::uint32_t>(i));
}

TEST_F(PriorityQueueTest, KeysLeaveInIncreasingOrder) {
    TraversalQueue queue;
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> keys(-20, 20);  // narrow on purpose: many equal keys
    std::vector<double> inserted;
    for (int i = 0; i < 100; ++i) {
        inserted.push_back(keys(rng) * 0.5);
        priorityQueueInsert(inserted.back(), entry(i), queue);
    }
    std::sort(inserted.begin(), inserted.end());
    for (double expected : inserted) EXPECT_EQ(priorityQueueDelete(queue).key, expected);
    EXPECT_EQ(queue.count, 0);

    // The high-water mark keeps the largest count it has seen.
    priorityQueueInsert(0, entry(0), queue);
    EXPECT_EQ(queue.highWaterMark, 100);
}

// Which of several equal keys leaves first is fixed by the heap rules.
TEST_F(PriorityQueueTest, EqualKeysFollowTheHeapRules) {
    struct Case {
        const char* what;
        std::vector<double> keys;  // inserted as entries 0, 1, 2, ...
        std::string order;         // entries in the order they leave
    };
    const Case cases[] = {
        {"climbing stops at an equal parent", {1, 1, 1}, "021"},
        {"sinking takes the right child of two equal ones", {0, 1, 1, 2}, "0213"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TraversalQueue queue;
        for (std::size_t i = 0; i < c.keys.size(); ++i) {
            priorityQueueInsert(c.keys[i], entry(static_cast<int>(i)), queue);
        }
        std::string order;
        while (queue.count > 0) order += char('0' + priorityQueueDelete(queue).ref.index());
        EXPECT_EQ(order, c.order);
    }
}

// "-pqs" only sets the starting size: a queue that fills grows, and keeps its order.
TEST_F(PriorityQueueTest, GrowsBeyondItsStartingSize) {
    iPQSize = 100;
    TraversalQueue queue;
    EXPECT_EQ(queue.slots.size(), 100u);
    constexpr int kEntries = 1000;
    for (int i = 0; i < kEntries; ++i) priorityQueueInsert(kEntries - i, entry(i), queue);
    EXPECT_EQ(queue.highWaterMark, kEntries);
    EXPECT_GT(queue.slots.size(), static_cast<std::size_t>(kEntries));
    for (int i = kEntries - 1; i >= 0; --i) EXPECT_EQ(priorityQueueDelete(queue).ref.index(), i);
}

TEST_F(PriorityQueueTest, DeletingFromAnEmptyQueueEndsTheRun) {
    TraversalQueue queue;
    const Outcome outcome =
        captureRun([&] { return static_cast<int>(priorityQueueDelete(queue).key); });
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.output,
              " Priority queue is empty, dying...\n"
              " Please use the -pqs or --pqsize switch to increase the priority queue size\n");
}

}  // namespace
