#include "toolkit/events.h"
