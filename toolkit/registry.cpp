#include "toolkit/registry.h"

HANDLE object_heap;

bool create_object_heap() {
    object_heap = HeapCreate(0, 1024, 0);
    return object_heap != 0;
}

void destroy_object_heap() {
    if (object_heap) HeapDestroy(object_heap);
    object_heap = 0;
}

bool init_registry(ObjectRegistry *registry, int32_t capacity) {
    registry->capacity = capacity;
    registry->slots = (ObjectSlot *)HeapAlloc(main_heap, HEAP_ZERO_MEMORY,
                                              ((SIZE_T)capacity + 2) * sizeof(ObjectSlot));
    return registry->slots != 0;
}

// Numbers index the array; everything else can only be a node's slot.
static bool is_number(const ObjectRegistry *registry, intptr_t identifier) {
    return registry->slots && identifier >= 0 && identifier <= registry->capacity;
}

// The node whose slot lies at the identifier, or 0. Only this registry's own
// nodes count, so a released or foreign identifier is never dereferenced.
static DynamicObjectNode *node_of(DynamicObjectNode *list, intptr_t identifier) {
    for (DynamicObjectNode *node = list; node; node = node->next)
        if ((intptr_t)&node->slot == identifier) return node;
    return 0;
}

ObjectSlot *reserve_slot(ObjectRegistry *registry, intptr_t number) {
    if (number == ANY_NUMBER) return allocate_node(&registry->dynamic_list);
    if (number < 0) return 0;
    if (!registry->slots || number >= registry->capacity) {
        // The new capacity must fit its 32 bits and the array its size type.
        if (number > (intptr_t)(INT32_MAX - 30)) return 0;
        if ((uintptr_t)number + 32 > (SIZE_T)-1 / sizeof(ObjectSlot)) return 0;
        SIZE_T bytes = ((SIZE_T)number + 32) * sizeof(ObjectSlot);
        void *grown = registry->slots
                          ? HeapReAlloc(main_heap, HEAP_ZERO_MEMORY, registry->slots, bytes)
                          : HeapAlloc(main_heap, HEAP_ZERO_MEMORY, bytes);
        if (!grown) return 0;
        registry->slots = (ObjectSlot *)grown;
        registry->capacity = (int32_t)(number + 30);
    }
    return &registry->slots[number];
}

SlotLookup find_slot(ObjectRegistry *registry, intptr_t identifier) {
    ObjectSlot *candidate = 0;
    if (is_number(registry, identifier)) {
        candidate = &registry->slots[identifier];
    } else {
        DynamicObjectNode *node = node_of(registry->dynamic_list, identifier);
        if (node) candidate = &node->slot;
    }
    if (!candidate || !candidate->handle) return SlotLookup{0, &registry->empty_slot};
    return SlotLookup{candidate, candidate};
}

void release_slot(ObjectRegistry *registry, intptr_t identifier) {
    if (is_number(registry, identifier))
        registry->slots[identifier].handle = 0;
    else
        free_node(&registry->dynamic_list, (ObjectSlot *)identifier);
}

ObjectSlot *allocate_node(DynamicObjectNode **list) {
    if (!object_heap) return 0;
    DynamicObjectNode *node =
        (DynamicObjectNode *)HeapAlloc(object_heap, HEAP_ZERO_MEMORY, sizeof(DynamicObjectNode));
    if (!node) return 0;
    if (*list) {
        (*list)->previous = node;
        node->next = *list;
    }
    *list = node;
    return &node->slot;
}

void free_node(DynamicObjectNode **list, ObjectSlot *slot) {
    DynamicObjectNode *node = node_of(*list, (intptr_t)slot);
    if (!node) return;
    if (node == *list)
        *list = node->next;
    else
        node->previous->next = node->next;
    if (node->next) node->next->previous = node->previous;
    HeapFree(object_heap, 0, node);
}
