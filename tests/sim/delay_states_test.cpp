// Saved delay states put back into live delay objects: a saved ring that
// wraps is laid out from the first slot when the live object is larger, an
// object of the saved size takes the bytes as they are, and a state whose
// length does not fit its capacity is passed over.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sim/simdata.h"

namespace {

// A saved object of capacity `cap`: head fields, then (value, due) pairs.
std::vector<std::uint8_t> saved(std::int32_t first, std::int32_t live, std::uint16_t cap,
                                const std::vector<delay_entry>& entries) {
    delay_object head{};
    head.kind = 7;
    head.first = first;
    head.live = live;
    head.delay = 3;
    head.initial = 1;
    head.output = 2;
    head.capacity = cap;
    std::vector<std::uint8_t> b(delay_object_bytes(cap), 0);
    std::memcpy(b.data(), &head, sizeof head);
    std::memcpy(b.data() + sizeof head, entries.data(), sizeof(delay_entry) * entries.size());
    return b;
}

// Room for a live object of capacity `cap` (8-byte aligned for the due times).
struct live_object {
    std::vector<double> room;
    delay_object* d;
    explicit live_object(std::uint16_t cap)
        : room(delay_object_alloc_bytes(cap) / 8 + 1, 0.0),
          d(reinterpret_cast<delay_object*>(room.data())) {
        d->capacity = cap;
    }
};

TEST(SavedDelayStates, AWrappedRingIsLaidOutFromTheStartInALargerObject) {
    // Capacity 4, the oldest entry at 2, three live: the ring holds slots 2, 3
    // and then 0.
    const std::vector<delay_entry> e = {{10, 4.05f}, {99, 0}, {30, 2.5f}, {40, 3.25f}};
    live_object big(8);
    delay_object* p = big.d;
    load_delay_states({saved(2, 3, 4, e)}, &p, 1);
    ASSERT_EQ(p, big.d); // large enough: filled in place
    EXPECT_EQ(p->capacity, 8);
    EXPECT_EQ(p->first, 0);
    EXPECT_EQ(p->live, 3);
    EXPECT_EQ(p->kind, 7u);
    EXPECT_FLOAT_EQ(p->output, 2);
    EXPECT_FLOAT_EQ(p->entries()[0].value, 30);
    EXPECT_FLOAT_EQ(p->entries()[1].value, 40);
    EXPECT_FLOAT_EQ(p->entries()[2].value, 10);
    // The due times as written: 4.05 from the float 4.0500002.
    EXPECT_DOUBLE_EQ(p->due_times()[0], 2.5);
    EXPECT_DOUBLE_EQ(p->due_times()[1], 3.25);
    EXPECT_DOUBLE_EQ(p->due_times()[2], 4.05);
}

TEST(SavedDelayStates, AnObjectOfTheSavedSizeKeepsTheRingAsItWas) {
    const std::vector<delay_entry> e = {{10, 4}, {20, 5}, {30, 2}};
    live_object same(3);
    delay_object* p = same.d;
    load_delay_states({saved(2, 2, 3, e)}, &p, 1);
    EXPECT_EQ(p->first, 2);
    EXPECT_EQ(p->live, 2);
    EXPECT_FLOAT_EQ(p->entries()[2].value, 30);
    EXPECT_FLOAT_EQ(p->entries()[0].value, 10);
    EXPECT_DOUBLE_EQ(p->due_times()[2], 2);

    // A state cut short of its capacity's length leaves the object alone.
    live_object other(3);
    p = other.d;
    std::vector<std::uint8_t> cut = saved(0, 1, 3, e);
    cut.resize(cut.size() - 8);
    load_delay_states({cut}, &p, 1);
    EXPECT_EQ(p->live, 0);
    EXPECT_EQ(p->kind, 0u);
}

} // namespace
