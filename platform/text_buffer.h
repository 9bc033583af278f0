// The scratch area that text results are written into. A caller saves
// `cursor`, lets an operation write at it (the cursor then stands at the
// text's terminating zero), uses the saved address as the text and restores
// the cursor afterwards.
#pragma once
#include "platform/platform.h"

enum { TEXT_WORK_BUFFER_SIZE = 64000 };

struct TextWorkBuffer {
    char *start; // TEXT_WORK_BUFFER_SIZE zero-filled bytes from the main heap
    char *cursor;
};

extern TextWorkBuffer text_work_buffer;

// Allocates the buffer from the main heap unless it exists, and sets the
// cursor to its start. Returns false when the heap cannot supply it.
bool init_text_work_buffer();
