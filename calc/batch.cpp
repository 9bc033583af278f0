#include "calc/batch.h"
#include <string.h>
#include "calc/coefficient.h"

const char INVALID_INPUT_TEXT[] = "invalid input";

enum { ENCODING_UNKNOWN, ENCODING_BYTES, ENCODING_UTF16LE, ENCODING_UTF16BE };

enum : unsigned char { CTRL_Z = 0x1a };

// A UTF-16 character outside ASCII stands as this byte: like any such
// character it is neither digit, blank, sign nor separator.
static const unsigned char NON_ASCII = 0x80;

static const unsigned char UTF8_BOM[3] = {0xef, 0xbb, 0xbf};

// Separator of each way of splitting but blanks.
static const unsigned char SEPARATOR_OF[SPLIT_BLANKS] = {'\t', ';', ','};

static void start_line(BatchState *s) {
    int_scan_start(&s->first);
    s->kept_length = 0;
    s->kept_cut = false;
    // All zero is every scan's start (int_scan_start) and no separator yet.
    memset(s->split, 0, sizeof s->split);
    s->in_word = false;
    s->in_line = false;
    s->pending_cr = false;
    s->pending_ctrl_z = false;
}

void batch_start(BatchState *s, const char *newline) {
    start_line(s);
    s->encoding = ENCODING_UNKNOWN;
    s->head_length = 0;
    s->ended = false;
    s->not_text = false;
    s->newline = newline;
    s->line_number = 0;
    s->invalid_lines = 0;
}

// The first value's scan is fed the whole line. Its text, up to the line's
// first separator of the kind that splits it (the first blank after the
// first word), has a whole number's form when that separator is what ended
// the number, right after its digits or after blanks that followed them.
static bool first_whole_form(const IntScan *first, int kind) {
    if (kind == SPLIT_BLANKS) return first->phase == INT_SCAN_ENDED_AFTER_TRAILING;
    return first->phase >= INT_SCAN_ENDED_AFTER_DIGITS && first->end == SEPARATOR_OF[kind];
}

// The kept text of value `index` (0-based) of a line split as `kind`.
static void find_kept_value(const BatchState *s, int kind, int index, BatchValue *v) {
    const char *p = s->kept, *end = p + s->kept_length;
    for (int k = 0;; ++k) {
        const char *start = p;
        if (kind == SPLIT_BLANKS) {
            while (start < end && *start == ' ')
                ++start;
            p = start;
            while (p < end && *p != ' ')
                ++p;
        } else {
            while (p < end && (unsigned char)*p != SEPARATOR_OF[kind])
                ++p;
        }
        if (k == index) {
            v->text = start;
            v->length = (size_t)(p - start);
            v->cut = p == end && s->kept_cut;
            return;
        }
        if (p < end && kind != SPLIT_BLANKS) ++p;
    }
}

// Tells the sink each value of a computed line that does not read as typed.
static void report_values(const BatchState *s, int kind, const IntScan *const scan[BATCH_FIELDS],
                          const BatchSink *sink) {
    for (int k = 0; k < BATCH_FIELDS; ++k) {
        bool whole_form = k ? int_scan_whole_form(scan[k]) : first_whole_form(scan[k], kind);
        if (whole_form && !scan[k]->too_large) continue;
        BatchValue v;
        v.line_number = s->line_number;
        v.index = k + 1;
        v.read_as = int_scan_result(scan[k]);
        v.whole_form = whole_form;
        find_kept_value(s, kind, k, &v);
        sink->not_as_typed(sink->context, &v);
    }
}

static void end_line(BatchState *s, const BatchSink *sink) {
    ++s->line_number;
    // The first kind of separator the line holds decides; blanks come last.
    int kind = SPLIT_TABS;
    while (kind < SPLIT_BLANKS && s->split[kind].count == 0)
        ++kind;
    const BatchSplit *split = &s->split[kind];
    // Separators between three values are two; for blanks the count is of words.
    uint32_t wanted = kind == SPLIT_BLANKS ? BATCH_FIELDS : BATCH_FIELDS - 1;

    char line[sizeof INVALID_INPUT_TEXT + 2];
    char *end = line;
    const char *text = 0;
    bool invalid = false, computed = false;
    if (kind == SPLIT_BLANKS && split->count == 0) {
        // A blank line keeps its place in the output, empty.
    } else if (split->count != wanted) {
        invalid = true;
        text = INVALID_INPUT_TEXT;
    } else {
        computed = true;
        CoefficientOutcome o =
            compute_coefficient(int_scan_result(&s->first), int_scan_result(&split->later[0]),
                                int_scan_result(&split->later[1]));
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
    if (!sink->write(sink->context, line, (size_t)(end - line))) {
        // Nothing more gets out: neither results nor messages.
        s->ended = true;
    } else if (invalid) {
        ++s->invalid_lines;
        if (sink->invalid_line) sink->invalid_line(sink->context, s->line_number);
    } else if (computed && sink->not_as_typed) {
        const IntScan *scan[BATCH_FIELDS] = {&s->first, &split->later[0], &split->later[1]};
        report_values(s, kind, scan, sink);
    }
    start_line(s);
}

// A character after the split's first separator: part of a later value.
static inline void split_char(BatchSplit *split, unsigned char c) {
    uint32_t later = split->count - 1; // wraps while still in the first value
    if (later < BATCH_FIELDS - 1) int_scan_feed(&split->later[later], c);
}

static inline void split_separator(BatchSplit *split) {
    if (split->count != UINT32_MAX) ++split->count;
}

// A character inside a line, offered to each way of splitting it that can
// still count: once a line has a separator, the ways after it never do.
static inline void line_char(BatchState *s, unsigned char c) {
    s->in_line = true;
    if (s->kept_length < BATCH_KEPT)
        s->kept[s->kept_length++] = (char)c;
    else
        s->kept_cut = true;
    int_scan_feed(&s->first, c);
    BatchSplit *split = &s->split[SPLIT_TABS];
    if (c == '\t') {
        split_separator(split);
        return;
    }
    split_char(split, c);
    if (split->count) return;
    static const unsigned char SEPARATOR[] = {';', ','};
    for (unsigned char separator : SEPARATOR) {
        ++split;
        if (c == separator)
            split_separator(split);
        else
            split_char(split, c);
        if (split->count) return;
    }
    BatchSplit *words = &s->split[SPLIT_BLANKS];
    if (c == ' ') {
        s->in_word = false;
        return;
    }
    if (!s->in_word) {
        s->in_word = true;
        split_separator(words);
    }
    // Words count from 1: the second word is the first later value.
    uint32_t later = words->count - 2;
    if (later < BATCH_FIELDS - 1) int_scan_feed(&words->later[later], c);
}

static void end_input(BatchState *s, const BatchSink *sink) {
    // A bare CR at the end is the line's ending; a line of only a Ctrl+Z is
    // no line (in_line is not set for it).
    if (s->in_line) end_line(s, sink);
    s->ended = true;
}

// One character of the decoded text. Returns false when the input ends.
static inline bool take_char(BatchState *s, unsigned char c, const BatchSink *sink) {
    if (c > ' ' && !s->pending_cr && !s->pending_ctrl_z) {
        // Most characters: text inside a line.
        line_char(s, c);
        return true;
    }
    if (c == 0) {
        // A field can hold any character but this one.
        s->not_text = true;
        s->ended = true;
        return false;
    }
    if (c == '\n') {
        if (s->pending_ctrl_z) {
            s->ended = true;
            return false;
        }
        // A CR right before the LF is the line ending, not text.
        end_line(s, sink);
        return !s->ended;
    }
    if (c == '\r' && s->pending_ctrl_z && !s->pending_cr) {
        s->pending_cr = true;
        return true;
    }
    // What was held back is text after all.
    if (s->pending_ctrl_z) line_char(s, CTRL_Z);
    if (s->pending_cr) line_char(s, '\r');
    s->pending_ctrl_z = false;
    s->pending_cr = false;
    if (c == '\r') {
        s->in_line = true;
        s->pending_cr = true;
    } else if (c == CTRL_Z && !s->in_line) {
        s->pending_ctrl_z = true;
    } else {
        line_char(s, c);
    }
    return true;
}

// The bytes kept while looking for a byte-order mark turned out to be text.
static void take_head_as_text(BatchState *s, const BatchSink *sink) {
    s->encoding = ENCODING_BYTES;
    uint8_t kept = s->head_length;
    s->head_length = 0;
    for (uint8_t i = 0; i < kept && take_char(s, s->head[i], sink); ++i) {
    }
}

// The first bytes: a byte-order mark tells the encoding; without one the
// input is bytes.
static void take_head(BatchState *s, unsigned char b, const BatchSink *sink) {
    s->head[s->head_length++] = b;
    const uint8_t *h = s->head;
    uint8_t n = s->head_length;
    if (n == 2 && ((h[0] == 0xff && h[1] == 0xfe) || (h[0] == 0xfe && h[1] == 0xff))) {
        s->encoding = h[0] == 0xff ? ENCODING_UTF16LE : ENCODING_UTF16BE;
        s->head_length = 0;
        return;
    }
    bool utf8_mark = true;
    for (uint8_t i = 0; i < n; ++i)
        utf8_mark = utf8_mark && h[i] == UTF8_BOM[i];
    if (utf8_mark && n == sizeof UTF8_BOM) {
        s->encoding = ENCODING_BYTES;
        s->head_length = 0;
        return;
    }
    if (utf8_mark || (n == 1 && (b == 0xff || b == 0xfe))) return;
    take_head_as_text(s, sink);
}

bool batch_feed(BatchState *s, const char *data, size_t length, const BatchSink *sink) {
    const unsigned char *p = (const unsigned char *)data;
    const unsigned char *end = p + length;
    while (p < end && !s->ended) {
        switch (s->encoding) {
        case ENCODING_UNKNOWN: take_head(s, *p++, sink); break;
        case ENCODING_BYTES:
            while (p < end && take_char(s, *p++, sink)) {
            }
            break;
        default: {
            // UTF-16: two bytes a unit; the first waits in head[0].
            unsigned char b = *p++;
            if (s->head_length == 0) {
                s->head[0] = b;
                s->head_length = 1;
                break;
            }
            s->head_length = 0;
            unsigned unit = s->encoding == ENCODING_UTF16LE ? (unsigned)b << 8 | s->head[0]
                                                            : (unsigned)s->head[0] << 8 | b;
            take_char(s, unit < 0x80 ? (unsigned char)unit : NON_ASCII, sink);
        }
        }
    }
    return !s->ended;
}

void batch_finish(BatchState *s, const BatchSink *sink) {
    if (s->ended) return;
    if (s->encoding == ENCODING_UNKNOWN) {
        // Input shorter than a byte-order mark.
        take_head_as_text(s, sink);
        if (s->ended) return;
    } else if (s->encoding != ENCODING_BYTES && s->head_length) {
        // UTF-16 that stops inside a unit.
        s->not_text = true;
        s->ended = true;
        return;
    }
    end_input(s, sink);
}
