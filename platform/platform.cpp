#include "platform/platform.h"
#include "platform/text_buffer.h"

HINSTANCE process_instance;
HANDLE main_heap;
TextWorkBuffer text_work_buffer;

char *format_decimal(intptr_t value, char *out) {
    char digits[24];
    int count = 0;
    // Work in unsigned so that the most negative value negates cleanly.
    uintptr_t magnitude = value < 0 ? 0 - (uintptr_t)value : (uintptr_t)value;
    do {
        digits[count++] = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *out++ = '-';
    while (count > 0)
        *out++ = digits[--count];
    *out = 0;
    return out;
}

bool load_common_controls() {
    HMODULE library = LoadLibraryA("comctl32.dll");
    if (!library) return false;
    // Through void (*)(): a cast between unrelated function types warns.
    void(WINAPI * init)() =
        (void(WINAPI *)())(void (*)())GetProcAddress(library, "InitCommonControls");
    if (init) init();
    return true;
}

bool init_text_work_buffer() {
    if (!text_work_buffer.start)
        text_work_buffer.start =
            (char *)HeapAlloc(main_heap, HEAP_ZERO_MEMORY, TEXT_WORK_BUFFER_SIZE);
    text_work_buffer.cursor = text_work_buffer.start;
    return text_work_buffer.start != 0;
}
