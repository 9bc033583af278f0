// The numbered object registry on the real process heaps. Handles stored here
// are arbitrary non-zero values: the registry never looks behind them.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "tests/support/toolkit_env.h"
#include "toolkit/registry.h"

namespace {

HWND fake_handle(intptr_t n) {
    return (HWND)(0x1000 + n);
}

bool slot_is_zero(const ObjectSlot &slot) {
    static const ObjectSlot zero = {};
    return memcmp(&slot, &zero, sizeof slot) == 0;
}

class Registry : public ::testing::Test {
  protected:
    ObjectRegistry reg = {};
    void SetUp() override {
        start_toolkit_for_tests();
        ASSERT_TRUE(init_registry(&reg, 30));
    }
    void TearDown() override {
        while (reg.dynamic_list)
            release_slot(&reg, (intptr_t)&reg.dynamic_list->slot);
        HeapFree(main_heap, 0, reg.slots);
    }
    // Fills a numbered slot with recognisable words.
    ObjectSlot *occupy(intptr_t number) {
        ObjectSlot *slot = reserve_slot(&reg, number);
        if (!slot) return 0;
        slot->handle = fake_handle(number);
        slot->accel_count = 100 + number;
        slot->gadget_word3 = 200 + number;
        slot->accel_table = (HACCEL)(300 + number);
        return slot;
    }
    intptr_t occupy_dynamic(intptr_t tag) {
        ObjectSlot *slot = reserve_slot(&reg, ANY_NUMBER);
        if (!slot) return 0;
        slot->handle = fake_handle(tag);
        return (intptr_t)slot;
    }
};

TEST_F(Registry, InitialArrayIsZeroedWithTwoSpareSlots) {
    EXPECT_EQ(reg.capacity, 30);
    for (int i = 0; i < 32; i++)
        EXPECT_TRUE(slot_is_zero(reg.slots[i])) << i;
    EXPECT_EQ(HeapSize(main_heap, 0, reg.slots), 32 * sizeof(ObjectSlot));
}

TEST_F(Registry, GrowsAtThirtyKeepingOldSlotsAndZeroingNewOnes) {
    for (int n = 0; n < 30; n++)
        ASSERT_NE(occupy(n), nullptr);
    EXPECT_EQ(reg.capacity, 30) << "number 29 still fits";

    ObjectSlot *slot = reserve_slot(&reg, 30);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(reg.capacity, 60);
    EXPECT_EQ(slot, &reg.slots[30]);
    EXPECT_EQ(HeapSize(main_heap, 0, reg.slots), 62 * sizeof(ObjectSlot));
    for (int n = 0; n < 30; n++) {
        EXPECT_EQ(reg.slots[n].handle, fake_handle(n));
        EXPECT_EQ(reg.slots[n].accel_count, 100 + n);
        EXPECT_EQ(reg.slots[n].gadget_word3, 200 + n);
        EXPECT_EQ(reg.slots[n].accel_table, (HACCEL)(intptr_t)(300 + n));
    }
    for (int n = 30; n < 62; n++)
        EXPECT_TRUE(slot_is_zero(reg.slots[n])) << n;
}

TEST_F(Registry, GrowsFarBeyondCapacityToNumberPlusThirty) {
    ASSERT_NE(occupy(3), nullptr);
    ASSERT_NE(reserve_slot(&reg, 500), nullptr);
    EXPECT_EQ(reg.capacity, 530);
    EXPECT_EQ(reg.slots[3].handle, fake_handle(3));
    EXPECT_TRUE(slot_is_zero(reg.slots[531]));
}

TEST_F(Registry, LookupOfCapacityAndOfEmptyNumbersGivesNone) {
    ASSERT_NE(occupy(29), nullptr);
    SlotLookup at_capacity = find_slot(&reg, reg.capacity);
    EXPECT_EQ(at_capacity.slot, nullptr);
    EXPECT_EQ(at_capacity.readable, &reg.empty_slot);
    EXPECT_EQ(find_slot(&reg, 5).slot, nullptr);
    SlotLookup live = find_slot(&reg, 29);
    EXPECT_EQ(live.slot, &reg.slots[29]);
    EXPECT_EQ(live.readable, live.slot);
}

TEST_F(Registry, ReleaseThenReserveKeepsTheKindSpecificWords) {
    ObjectSlot *slot = occupy(7);
    ASSERT_NE(slot, nullptr);
    release_slot(&reg, 7);
    SlotLookup gone = find_slot(&reg, 7);
    EXPECT_EQ(gone.slot, nullptr);
    EXPECT_EQ(gone.readable, &reg.empty_slot);
    EXPECT_TRUE(slot_is_zero(reg.empty_slot));

    ObjectSlot *again = reserve_slot(&reg, 7);
    EXPECT_EQ(again, slot);
    EXPECT_EQ(again->handle, nullptr);
    EXPECT_EQ(again->accel_count, 107);
    EXPECT_EQ(again->gadget_word3, 207);
    EXPECT_EQ(again->accel_table, (HACCEL)307);
}

// Follows the list both ways and returns the tags in order, newest first.
std::string list_tags(const ObjectRegistry &reg) {
    std::string forward, backward;
    const DynamicObjectNode *last = 0;
    for (const DynamicObjectNode *n = reg.dynamic_list; n; n = n->next) {
        forward += (char)('a' + ((intptr_t)n->slot.handle - 0x1000));
        if (n == reg.dynamic_list) {
            if (n->previous) return "head has a previous node";
        } else if (n->previous->next != n) {
            return "broken previous link";
        }
        last = n;
    }
    for (const DynamicObjectNode *n = last; n; n = n->previous)
        backward.insert(backward.begin(), (char)('a' + ((intptr_t)n->slot.handle - 0x1000)));
    if (forward != backward) return "forward " + forward + " backward " + backward;
    return forward;
}

TEST_F(Registry, DynamicListStaysLinkedWhenFirstMiddleOrLastNodeGoes) {
    intptr_t id[5];
    for (int i = 0; i < 5; i++)
        ASSERT_NE(id[i] = occupy_dynamic(i), 0);
    EXPECT_EQ(list_tags(reg), "edcba") << "newest node first";
    for (int i = 0; i < 5; i++)
        EXPECT_GT(id[i], (intptr_t)reg.capacity);

    release_slot(&reg, id[4]); // first
    EXPECT_EQ(list_tags(reg), "dcba");
    release_slot(&reg, id[2]); // middle
    EXPECT_EQ(list_tags(reg), "dba");
    release_slot(&reg, id[0]); // last
    EXPECT_EQ(list_tags(reg), "db");
    intptr_t newest = occupy_dynamic(5);
    EXPECT_EQ(list_tags(reg), "fdb");
    release_slot(&reg, id[3]);
    release_slot(&reg, newest);
    EXPECT_EQ(list_tags(reg), "b");
    release_slot(&reg, id[1]);
    EXPECT_EQ(reg.dynamic_list, nullptr);
}

TEST_F(Registry, DynamicIdentifierSurvivesGrowthOfTheNumberedArray) {
    intptr_t id = occupy_dynamic(1);
    ASSERT_NE(id, 0);
    for (int n = 0; n < 400; n += 31)
        ASSERT_NE(occupy(n), nullptr);
    EXPECT_GE(reg.capacity, 399);
    SlotLookup found = find_slot(&reg, id);
    EXPECT_EQ(found.slot, (ObjectSlot *)id);
    EXPECT_EQ(found.slot->handle, fake_handle(1));
    EXPECT_EQ(reg.slots[372].handle, fake_handle(372));
}

TEST_F(Registry, DynamicSlotWithoutHandleIsNotLiveButCanBeReleased) {
    ObjectSlot *slot = reserve_slot(&reg, ANY_NUMBER);
    ASSERT_NE(slot, nullptr);
    EXPECT_TRUE(slot_is_zero(*slot));
    EXPECT_EQ(find_slot(&reg, (intptr_t)slot).slot, nullptr);
    release_slot(&reg, (intptr_t)slot);
    EXPECT_EQ(reg.dynamic_list, nullptr);
}

// Identifiers that name nothing: released, from another registry, or made up.
TEST_F(Registry, StaleAndForeignIdentifiersNameNothing) {
    intptr_t stale = occupy_dynamic(1);
    intptr_t kept = occupy_dynamic(2);
    release_slot(&reg, stale);

    // Another registry's node may well reuse the freed memory; its live
    // handle must not make the stale identifier work again here.
    ObjectRegistry other = {};
    ASSERT_TRUE(init_registry(&other, 10));
    ObjectSlot *foreign = reserve_slot(&other, ANY_NUMBER);
    ASSERT_NE(foreign, nullptr);
    foreign->handle = fake_handle(9);
    ObjectSlot *foreign2 = reserve_slot(&other, ANY_NUMBER);
    foreign2->handle = fake_handle(8);

    for (intptr_t id : {stale, (intptr_t)foreign, (intptr_t)foreign2}) {
        SlotLookup found = find_slot(&reg, id);
        EXPECT_EQ(found.slot, nullptr);
        EXPECT_EQ(found.readable, &reg.empty_slot);
    }
    // Releasing foreign identifiers leaves both lists alone.
    release_slot(&reg, (intptr_t)foreign);
    release_slot(&reg, stale);
    EXPECT_EQ(list_tags(reg), "c");
    EXPECT_EQ(find_slot(&other, (intptr_t)foreign).slot, foreign);
    EXPECT_EQ(find_slot(&other, (intptr_t)foreign2).slot, foreign2);

    // A slot outside every registry, with a handle, is not a node either.
    ObjectSlot outside = {};
    outside.handle = fake_handle(7);
    EXPECT_EQ(find_slot(&reg, (intptr_t)&outside).slot, nullptr);
    release_slot(&reg, (intptr_t)&outside);
    EXPECT_EQ(outside.handle, fake_handle(7));

    // Values that would fault if they were read as addresses.
    for (intptr_t id : {(intptr_t)-2, (intptr_t)-1, (intptr_t)31, (intptr_t)0x10,
                        (intptr_t)INTPTR_MIN, (intptr_t)INTPTR_MAX, (intptr_t)0x7ff0}) {
        EXPECT_EQ(find_slot(&reg, id).slot, nullptr) << id;
        release_slot(&reg, id);
    }
    EXPECT_EQ(find_slot(&reg, kept).slot, (ObjectSlot *)kept);

    release_slot(&other, (intptr_t)foreign);
    release_slot(&other, (intptr_t)foreign2);
    EXPECT_EQ(other.dynamic_list, nullptr);
    HeapFree(main_heap, 0, other.slots);
}

TEST_F(Registry, NumbersThatCannotBeHeldFailTheReservation) {
    ASSERT_NE(occupy(4), nullptr);
    ObjectSlot *array = reg.slots;
    for (intptr_t number : {(intptr_t)-2, (intptr_t)INTPTR_MIN, (intptr_t)INT32_MAX,
                            (intptr_t)INT32_MAX - 29, (intptr_t)INTPTR_MAX}) {
        EXPECT_EQ(reserve_slot(&reg, number), nullptr) << number;
        EXPECT_EQ(reg.capacity, 30);
        EXPECT_EQ(reg.slots, array);
    }
    EXPECT_EQ(reg.slots[4].handle, fake_handle(4));
}

TEST_F(Registry, ExhaustedHeapsFailTheReservationAndKeepTheRegistry) {
    // A main heap with a hard limit stands in for one that cannot grow.
    HANDLE saved_main = main_heap;
    main_heap = HeapCreate(0, 4096, 64 * 1024);
    ASSERT_NE(main_heap, nullptr);
    ObjectRegistry small = {};
    ASSERT_TRUE(init_registry(&small, 30));
    ObjectSlot *s = reserve_slot(&small, 2);
    ASSERT_NE(s, nullptr);
    s->handle = fake_handle(2);
    ObjectSlot *array = small.slots;
    EXPECT_EQ(reserve_slot(&small, 100000), nullptr);
    EXPECT_EQ(small.capacity, 30);
    EXPECT_EQ(small.slots, array);
    EXPECT_EQ(find_slot(&small, 2).slot, s);
    EXPECT_EQ(find_slot(&small, 29).slot, nullptr);
    HeapDestroy(main_heap);
    main_heap = saved_main;

    HANDLE saved_objects = object_heap;
    object_heap = HeapCreate(0, 4096, 8192);
    ASSERT_NE(object_heap, nullptr);
    int made = 0;
    while (reserve_slot(&reg, ANY_NUMBER) && made < 100000)
        made++;
    EXPECT_LT(made, 100000);
    EXPECT_GT(made, 0);
    int linked = 0;
    for (DynamicObjectNode *n = reg.dynamic_list; n; n = n->next)
        linked++;
    EXPECT_EQ(linked, made) << "a failed allocation must not touch the list";
    reg.dynamic_list = 0; // the nodes go with their heap
    HeapDestroy(object_heap);
    object_heap = saved_objects;
}

} // namespace
