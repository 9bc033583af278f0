#include "toolkit/registry.h"
HANDLE object_heap;
bool create_object_heap() { object_heap = HeapCreate(0, 1024, 0); return object_heap != 0; }
void destroy_object_heap() { HeapDestroy(object_heap); object_heap = 0; }
