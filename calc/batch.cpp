#include "calc/batch.h"
#include "calc/coefficient.h"

const char INVALID_INPUT_TEXT[] = "invalid input";

static void start_line(BatchState *s) {
    for (int f = 0; f < BATCH_FIELDS; ++f)
        int_scan_start(&s->field[f]);
    s->tabs = 0;
    s->in_line = false;
    s->pending_cr = false;
}

void batch_start(BatchState *s, const char *newline) {
    start_line(s);
    s->newline = newline;
    s->line_number = 0;
    s->invalid_lines = 0;
}

static void end_line(BatchState *s, const BatchSink *sink) {
    ++s->line_number;
    char line[sizeof INVALID_INPUT_TEXT + 2];
    char *end = line;
    const char *text = 0;
    if (s->tabs != BATCH_FIELDS - 1) {
        ++s->invalid_lines;
        if (sink->invalid_line) sink->invalid_line(sink->context, s->line_number);
        text = INVALID_INPUT_TEXT;
    } else {
        CoefficientOutcome o =
            compute_coefficient(int_scan_result(&s->field[0]), int_scan_result(&s->field[1]),
                                int_scan_result(&s->field[2]));
        if (o.valid)
            end = format_int(o.value, line);
        else
            text = OUT_OF_RANGE_TEXT;
    }
    if (text)
        while (*text)
            *end++ = *text++;
    for (const char *n = s->newline; *n;)
        *end++ = *n++;
    sink->write(sink->context, line, (size_t)(end - line));
    start_line(s);
}

static inline void field_char(BatchState *s, unsigned char c) {
    if (s->tabs < BATCH_FIELDS) int_scan_feed(&s->field[s->tabs], c);
}

void batch_feed(BatchState *s, const char *data, size_t length, const BatchSink *sink) {
    const unsigned char *p = (const unsigned char *)data;
    const unsigned char *end = p + length;
    while (p < end) {
        unsigned char c = *p++;
        if (s->pending_cr) {
            // A CR right before the LF is the line ending, not text.
            s->pending_cr = false;
            if (c == '\n') {
                end_line(s, sink);
                continue;
            }
            field_char(s, '\r');
        }
        if (c == '\n') {
            end_line(s, sink);
            continue;
        }
        s->in_line = true;
        if (c == '\r') {
            s->pending_cr = true;
        } else if (c == '\t') {
            if (s->tabs != UINT32_MAX) ++s->tabs;
        } else {
            field_char(s, c);
        }
    }
}

void batch_finish(BatchState *s, const BatchSink *sink) {
    if (s->pending_cr) {
        // Input that ends in a bare CR: the CR is the line's ending.
        s->pending_cr = false;
    }
    if (s->in_line) end_line(s, sink);
}
