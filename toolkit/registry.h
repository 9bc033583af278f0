// Turns object numbers and identifiers into slots. One registry per object
// kind (windows, gadgets). Numbered objects live in a growable array in the
// main heap; ANY_NUMBER objects live in nodes of the object heap, and the
// address of a node's slot is the object's identifier.
#pragma once
#include "toolkit/toolkit.h"

struct GadgetOps;

// Four address-wide words; the last three mean different things per kind.
struct ObjectSlot {
    HWND handle; // 0: empty
    union {
        intptr_t accel_count; // windows
        const GadgetOps *ops; // gadgets
    };
    union {
        ACCEL *accel_entries;  // windows
        intptr_t gadget_word3; // gadgets: unused
    };
    union {
        HACCEL accel_table; // windows
        WNDPROC class_proc; // gadgets: the procedure the subclass replaced
    };
};

struct DynamicObjectNode {
    DynamicObjectNode *next;
    DynamicObjectNode *previous;
    ObjectSlot slot;
};

struct ObjectRegistry {
    int32_t capacity;                // numbers 0 .. capacity - 1 fit without growing
    ObjectSlot *slots;               // capacity + 2 slots
    DynamicObjectNode *dynamic_list; // newest first
    ObjectSlot empty_slot;           // always all zero
};

// find_slot's two results: the live object's slot or 0, and a slot that can
// always be read (the object's, or empty_slot).
struct SlotLookup {
    ObjectSlot *slot;
    ObjectSlot *readable;
};

extern HANDLE object_heap;

// Allocates capacity + 2 zero-filled slots from the main heap.
bool init_registry(ObjectRegistry *registry, int32_t capacity);
// Returns 0 when the array cannot grow or the node cannot be allocated.
ObjectSlot *reserve_slot(ObjectRegistry *registry, intptr_t number);
SlotLookup find_slot(ObjectRegistry *registry, intptr_t identifier);
void release_slot(ObjectRegistry *registry, intptr_t identifier);
ObjectSlot *allocate_node(DynamicObjectNode **list);
void free_node(DynamicObjectNode **list, ObjectSlot *slot);
