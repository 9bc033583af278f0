// Batch calculation over a stream: each line holds the three field texts
// (coefficient, displayed, real) separated by tabs and gets one output line,
// the result field's text. Lines may be of any length and arrive in pieces
// of any size; nothing is allocated.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include "calc/int_scan.h"

enum { BATCH_FIELDS = 3 };

// Output line of a line that does not hold exactly three fields.
extern const char INVALID_INPUT_TEXT[];

struct BatchSink {
    void *context;
    // One complete output line, its line ending included.
    void (*write)(void *context, const char *text, size_t length);
    // Called before the "invalid input" line of such a line (1-based number).
    void (*invalid_line)(void *context, uint64_t line_number);
};

struct BatchState {
    IntScan field[BATCH_FIELDS];
    uint32_t tabs;        // saturates; only "exactly two" matters
    bool in_line;         // characters seen since the last line ending
    bool pending_cr;      // a CR that ends the line if a LF follows
    const char *newline;  // line ending written after each result
    uint64_t line_number; // lines completed so far
    uint64_t invalid_lines;
};

// newline: "\n" or "\r\n", written after each output line.
void batch_start(BatchState *s, const char *newline);
void batch_feed(BatchState *s, const char *data, size_t length, const BatchSink *sink);
// Ends the input: a last line without a line ending still counts.
void batch_finish(BatchState *s, const BatchSink *sink);
