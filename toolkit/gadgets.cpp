#include "toolkit/gadgets.h"
GadgetLibrary gadget_library;
void tk_init_gadgets() {}
