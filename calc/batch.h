// Batch calculation over a stream: each line holds the three field texts
// (coefficient, displayed, real) and gets one output line, the result
// field's text. Lines may be of any length and arrive in pieces of any size;
// nothing is allocated.
//
// Input as Windows tools write it: plain bytes (ASCII, UTF-8 or an 8-bit code
// page), UTF-8 after a byte-order mark, or UTF-16 in either byte order after
// its byte-order mark. Outside ASCII a character is neither digit, blank nor
// sign, as in the window. A line of only a Ctrl+Z ends the input: that is what
// Ctrl+Z then Enter gives at a Windows console. A zero character, which no
// field can hold (binary data, UTF-16 without its mark), or half a UTF-16
// unit at the end means the input is not text: the engine stops before the
// line holding it.
//
// A line with tabs is split on tabs. A line without tabs is split on
// semicolons if it has any, else on commas if it has any, else on runs of
// blanks. Exactly three values make a calculation; a line of blanks only is
// blank and gets an empty output line; anything else is invalid. A value that
// does not read as typed (int_scan_as_typed) is told to the sink.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include "calc/int_scan.h"

// BATCH_KEPT: the characters of a line kept to quote its values.
enum { BATCH_FIELDS = 3, BATCH_KEPT = 80 };

// The ways a line may be split, in the order they take precedence.
enum { SPLIT_TABS, SPLIT_SEMICOLONS, SPLIT_COMMAS, SPLIT_BLANKS, SPLIT_KINDS };

// Output line of a line that does not hold exactly three values.
extern const char INVALID_INPUT_TEXT[];

// A value of a computed line that does not read as typed.
struct BatchValue {
    uint64_t line_number; // 1-based
    int index;            // 1 to 3
    int32_t read_as;      // what it counted as
    bool whole_form;      // blanks, a sign, digits and blanks: only too large
    const char *text;     // its first characters, as far as the line was kept
    size_t length;        // (possibly none)
    bool cut;             // the value may go on beyond them
};

struct BatchSink {
    void *context;
    // One complete output line, its line ending included. Returns false when
    // the output takes no more (its reader has gone, the disk is full): the
    // engine then stops, before the next line and any message about it.
    bool (*write)(void *context, const char *text, size_t length);
    // Called after the "invalid input" line of such a line is written
    // (1-based number).
    void (*invalid_line)(void *context, uint64_t line_number);
    // Called after a computed line is written, for each of its values that
    // does not read as typed, in order; may be null.
    void (*not_as_typed)(void *context, const BatchValue *value);
};

// One way of splitting the current line: its second and third values so
// far, and how many separators (for blanks: how many words) were seen.
struct BatchSplit {
    IntScan later[BATCH_FIELDS - 1];
    uint32_t count; // saturates; only "exactly three values" matters
};

struct BatchState {
    // The first value begins where the line does in every split, and a
    // separator ends a number as any non-digit does: one scan serves all.
    IntScan first;
    BatchSplit split[SPLIT_KINDS];
    char kept[BATCH_KEPT]; // the line's first characters
    uint32_t kept_length;
    bool kept_cut;          // the line goes on beyond them
    bool in_word;           // inside a run of non-blanks
    bool in_line;           // characters seen since the last line ending
    bool pending_cr;        // a CR that ends the line if a LF follows
    bool pending_ctrl_z;    // a Ctrl+Z that ends the input if the line ends
    uint8_t encoding;       // how bytes become characters (batch.cpp)
    uint8_t head[3];        // first bytes, kept until the encoding is known
    uint8_t head_length;    // or the first byte of a UTF-16 unit (1)
    bool ended;             // a Ctrl+Z, input that is not text, or output refused
    bool not_text;          // the engine stopped at a character of no text
    const char *newline;    // line ending written after each result
    uint64_t line_number;   // lines completed so far
    uint64_t invalid_lines; // written as "invalid input"
};

// newline: "\n" or "\r\n", written after each output line.
void batch_start(BatchState *s, const char *newline);
// Returns false once the input has ended (a Ctrl+Z), is not text or the sink
// refused a line; the rest need not be read. not_text tells when the input
// was not text, and the line that is not text is line_number + 1.
bool batch_feed(BatchState *s, const char *data, size_t length, const BatchSink *sink);
// Ends the input: a last line without a line ending still counts. Only for
// input read to its end: after a refused line it does nothing.
void batch_finish(BatchState *s, const BatchSink *sink);
