// kandu-calc: the calculator's result on the command line, for scripts and
// for users without a Windows desktop. Same calculation as the form.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "calc/batch.h"
#include "calc/characteristic.h"
#include "calc/coefficient.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include "platform/dll_search.h"
// Windows tools write CRLF; input may end its lines either way.
static const char NEWLINE[] = "\r\n";
static const char INPUT_HINT[] =
    "kandu-calc: type three values a line, such as 1100 200 250; Ctrl+Z then Enter ends\n";
#else
#include <errno.h>
#include <signal.h>
#include <unistd.h>
static const char NEWLINE[] = "\n";
static const char INPUT_HINT[] =
    "kandu-calc: type three values a line, such as 1100 200 250; Ctrl+D ends\n";
#endif

#ifndef KANDU_VERSION
#define KANDU_VERSION "unknown"
#endif

enum { EXIT_USAGE = 2, IO_BLOCK = 1 << 16 };

static const char USAGE[] =
    "usage: kandu-calc [--] COEFF DISPLAYED REAL\n"
    "       kandu-calc [--] [-]       batch mode: one line per calculation on standard input\n"
    "       kandu-calc --table | --help | -h | /? | --version\n";

static const char HELP[] =
    "\n"
    "Computes the temperature coefficient to set in a heater controller from the\n"
    "coefficient set now, the temperature the controller displays and the real\n"
    "temperature of the heater. Prints the new coefficient (a multiple of 10) or\n"
    "\"out of range\": when the displayed temperature is 20 or less or above 500,\n"
    "when the real temperature is 20, or when the new coefficient would be below\n"
    "400 or above 4000.\n"
    "\n"
    "Each value is read as the calculator's form reads it: the leading whole\n"
    "number, so 20.5 counts as 20 and abc as 0. A value that is not a whole number\n"
    "as typed (blanks, a sign, the digits 0 to 9, blanks), or is a whole number\n"
    "outside -2147483648 to 2147483647, still counts as read, and standard error\n"
    "says which value it was (in batch mode: on which line) and how it was read.\n"
    "\n"
    "Batch mode reads lines of three values and prints one result per line. The\n"
    "values are separated by tabs, or on a line without tabs by semicolons, by\n"
    "commas or by blanks: 1100;200;250, 1100,200,250 and 1100 200 250 all work.\n"
    "A blank line prints an empty line. Any other line prints \"invalid input\"\n"
    "and is reported on standard error. The input may be ASCII, UTF-8 (with or\n"
    "without a byte-order mark) or UTF-16 with its byte-order mark; a line of\n"
    "only Ctrl+Z ends it. A zero byte (binary data, UTF-16 without its mark) is\n"
    "not text: the run stops at its line with a message.\n"
    "\n"
    "  --table         print the heater characteristic: temperature, tab, value\n"
    "  --help, -h, /?  print this text\n"
    "  --version       print the version\n"
    "An option is given alone. A value may start with a minus sign (-500); after\n"
    "-- no argument is an option.\n"
    "\n"
    "Exit status: 0 when every line was computed (\"out of range\" and values\n"
    "not read as typed included), 2 for a usage error, an invalid line or input\n"
    "that is not text, 1 when the input cannot be read or the output cannot be\n"
    "written.\n";

static CharacteristicTable table;

struct Output {
    FILE *file;
    bool failed;
    size_t used;
    char buffer[IO_BLOCK];
};

static Output out;

static void out_flush(Output *o) {
    if (o->used && !o->failed && fwrite(o->buffer, 1, o->used, o->file) != o->used)
        o->failed = true;
    o->used = 0;
}

// Everything written so far, out of this program's buffers too.
static void out_push() {
    out_flush(&out);
    if (fflush(out.file) != 0) out.failed = true;
}

// Returns false once a write has failed (the reader has gone, the disk is
// full): nothing more gets out, and the caller stops reading.
static bool out_write(void *context, const char *text, size_t length) {
    Output *o = (Output *)context;
    if (o->failed) return false;
    if (length > sizeof o->buffer - o->used) out_flush(o);
    if (o->failed) return false;
    if (length > sizeof o->buffer) {
        // Too long for the buffer: straight out, after what was buffered.
        if (fwrite(text, 1, length, o->file) != length) o->failed = true;
        return !o->failed;
    }
    memcpy(o->buffer + o->used, text, length);
    o->used += length;
    return true;
}

// Writes text, each '\n' in it as this platform's line ending.
static void out_text(const char *text) {
    for (;;) {
        const char *lf = strchr(text, '\n');
        if (!lf) break;
        out_write(&out, text, (size_t)(lf - text));
        out_write(&out, NEWLINE, sizeof NEWLINE - 1);
        text = lf + 1;
    }
    out_write(&out, text, strlen(text));
}

// Decimal form of a count; returns the address of its terminating zero.
static char *format_count(uint64_t n, char *cursor) {
    char digits[20];
    int count = 0;
    do {
        digits[count++] = (char)('0' + n % 10);
        n /= 10;
    } while (n);
    while (count)
        *cursor++ = digits[--count];
    *cursor = 0;
    return cursor;
}

// Writes a text given on the command line or in the input to standard error,
// in quotes and safe for any terminal: printable ASCII as it is, any other
// character as ? (a UTF-8 sequence as one), at most 32 characters, then ...
// when it goes on (or may).
static void put_quoted(const char *text, size_t length, bool cut) {
    enum { SHOWN = 32 };
    char shown[SHOWN + 6];
    size_t n = 0;
    shown[n++] = '"';
    const unsigned char *p = (const unsigned char *)text, *end = p + length;
    for (; p < end && n <= SHOWN; ++p) {
        unsigned char c = *p;
        // A UTF-8 continuation byte after a byte outside ASCII is the same
        // character.
        if (c >= 0x80 && c < 0xc0 && p > (const unsigned char *)text && p[-1] >= 0x80) continue;
        shown[n++] = c >= ' ' && c < 0x7f ? (char)c : '?';
    }
    if (p < end || cut) {
        memcpy(shown + n, "...", 3);
        n += 3;
    }
    shown[n++] = '"';
    fwrite(shown, 1, n, stderr);
}

static void report_line(uint64_t line_number, const char *what) {
    char number[21];
    format_count(line_number, number);
    fprintf(stderr, "kandu-calc: line %s: %s\n", number, what);
}

static void report_invalid(void *, uint64_t line_number) {
    report_line(line_number,
                "expected three values separated by tabs, semicolons, commas or blanks");
}

// A value that does not read as typed, and how it was read; line_number 0
// for an argument.
static void report_value(uint64_t line_number, int index, const char *text, size_t length, bool cut,
                         bool whole_form, int32_t read_as) {
    char number[21], read[FORMAT_INT_MAX];
    fputs("kandu-calc: ", stderr);
    if (line_number) {
        format_count(line_number, number);
        fprintf(stderr, "line %s, ", number);
    }
    fprintf(stderr, "value %d ", index);
    put_quoted(text, length, cut);
    format_int(read_as, read);
    fprintf(stderr, " is %s; read as %s\n",
            whole_form ? "not within -2147483648 to 2147483647" : "not a whole number", read);
}

static void report_batch_value(void *, const BatchValue *v) {
    report_value(v->line_number, v->index, v->text, v->length, v->cut, v->whole_form, v->read_as);
}

static int finish_output() {
    out_push();
    if (out.failed) {
        fputs("kandu-calc: cannot write the output\n", stderr);
        return 1;
    }
    return 0;
}

static int run_one(const char *const values[BATCH_FIELDS]) {
    int32_t read[BATCH_FIELDS];
    for (int k = 0; k < BATCH_FIELDS; ++k) {
        // The whole text through one scan: it reads the number as the form
        // does and tells whether the text reads as typed.
        IntScan scan;
        int_scan_start(&scan);
        for (const char *c = values[k]; *c; ++c)
            int_scan_feed(&scan, (unsigned char)*c);
        read[k] = int_scan_result(&scan);
        if (!int_scan_as_typed(&scan))
            report_value(0, k + 1, values[k], strlen(values[k]), false, int_scan_whole_form(&scan),
                         read[k]);
    }
    CoefficientOutcome o = compute_coefficient(read[0], read[1], read[2]);
    if (o.valid) {
        char text[FORMAT_INT_MAX];
        format_int(o.value, text);
        out_text(text);
    } else {
        out_text(OUT_OF_RANGE_TEXT);
    }
    out_text("\n");
    return finish_output();
}

static char in_block[IO_BLOCK];

static bool input_is_console() {
#ifdef _WIN32
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
#else
    return isatty(0) != 0;
#endif
}

// What standard input has now, up to size bytes (a console gives a line);
// 0 at its end, negative when it cannot be read.
static long read_input(char *buffer, size_t size) {
#ifdef _WIN32
    return _read(0, buffer, (unsigned)size);
#else
    ssize_t n;
    do
        n = read(0, buffer, size);
    while (n < 0 && errno == EINTR);
    return (long)n;
#endif
}

static int run_batch() {
    // Someone typing at a console is told what to type, and sees each
    // answer as soon as the line is complete.
    bool console = input_is_console();
    if (console) {
        fputs(INPUT_HINT, stderr);
        fflush(stderr);
    }
    BatchState state;
    batch_start(&state, NEWLINE);
    BatchSink sink = {&out, out_write, report_invalid, report_batch_value};
    long n = 0;
    while (!out.failed && (n = read_input(in_block, sizeof in_block)) > 0) {
        if (!batch_feed(&state, in_block, (size_t)n, &sink)) break;
        if (console) {
            out_push();
            fflush(stderr);
        }
    }
    bool read_failed = n < 0;
    // A run stopped by its output has not read its input to the end: the
    // line it stopped in is no last line.
    if (!out.failed) batch_finish(&state, &sink);
    int status = finish_output();
    if (state.not_text)
        report_line(state.line_number + 1, "not text; the input must be ASCII, UTF-8, or UTF-16 "
                                           "with its byte-order mark");
    if (read_failed) {
        fputs("kandu-calc: cannot read the input\n", stderr);
        status = 1;
    }
    if (status == 0 && (state.invalid_lines || state.not_text)) status = EXIT_USAGE;
    return status;
}

// Shortest decimal that reads back as the same float.
static void format_value(float v, char *text, size_t size) {
    for (int decimals = 0; decimals <= 9; ++decimals) {
        snprintf(text, size, "%.*f", decimals, (double)v);
        if (strtof(text, 0) == v) return;
    }
}

static int run_table() {
    for (int i = 0; i < CHARACTERISTIC_ENTRIES; ++i) {
        char text[FORMAT_INT_MAX];
        format_int(characteristic_temperature(i), text);
        out_text(text);
        out_text("\t");
        char value[32];
        format_value(table.value[i], value, sizeof value);
        out_text(value);
        out_text("\n");
    }
    return finish_output();
}

static int count_error(int count) {
    fprintf(stderr, "kandu-calc: expected three values, got %d\n%s", count, USAGE);
    return EXIT_USAGE;
}

// An argument that is an option: /? or a hyphen and then a letter or a hyphen
// ("-" alone is standard input, -500 a value).
static bool is_option(const char *a) {
    if (strcmp(a, "/?") == 0) return true;
    char c = a[0] == '-' ? a[1] : 0;
    return c == '-' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

static int run_option(const char *a, int argc, char **argv) {
    bool help = strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0 || strcmp(a, "/?") == 0;
    bool known = help || strcmp(a, "--table") == 0 || strcmp(a, "--version") == 0;
    if (!known) {
        fputs("kandu-calc: unknown option ", stderr);
        put_quoted(a, strlen(a), false);
        fputs("\n", stderr);
        fputs(USAGE, stderr);
        return EXIT_USAGE;
    }
    if (argc > 2) {
        const char *other = argv[1] == a ? argv[2] : argv[1];
        fprintf(stderr, "kandu-calc: %s takes no other arguments, yet ", a);
        put_quoted(other, strlen(other), false);
        fprintf(stderr, " was given\n%s", USAGE);
        return EXIT_USAGE;
    }
    if (help) {
        out_text(USAGE);
        out_text(HELP);
        return finish_output();
    }
    if (strcmp(a, "--table") == 0) return run_table();
    out_text("kandu-calc " KANDU_VERSION "\n");
    return finish_output();
}

// argv: the arguments as UTF-8 on Windows, as the system gives them elsewhere.
static int run(int argc, char **argv) {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    // Messages about invalid lines can be as many as the lines: buffer them
    // too (they are flushed at exit).
    static char err_buffer[IO_BLOCK];
    setvbuf(stderr, err_buffer, _IOFBF, sizeof err_buffer);
    out.file = stdout;
    characteristic_table = &table;
    fill_characteristic_table();

    // Options come before "--" (the end of options, as in most tools), which
    // itself is no value.
    const char *values[BATCH_FIELDS];
    int count = 0;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        if (options && strcmp(a, "--") == 0) {
            options = false;
            continue;
        }
        if (options && is_option(a)) return run_option(a, argc, argv);
        if (count < BATCH_FIELDS) values[count] = a;
        ++count;
    }
    if (count == 3) return run_one(values);
    if (count == 0 || (count == 1 && strcmp(values[0], "-") == 0)) return run_batch();
    return count_error(count);
}

#ifdef _WIN32
// The arguments as Windows keeps them, in UTF-16, then in UTF-8. Through the
// ANSI code page's best-fit mapping full-width digits would be taken for
// ASCII ones, and "--version" typed with full-width hyphens for the option,
// so the answer would depend on the system. Now only ASCII digits are digits,
// as in batch input.
extern "C" int wmain(int argc, wchar_t **wide) {
    restrict_dll_search();
    char **argv = (char **)calloc((size_t)argc + 1, sizeof *argv);
    for (int i = 0; argv && i < argc; ++i) {
        int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, 0, 0, 0, 0);
        if (size < 1) size = 1;
        argv[i] = (char *)calloc((size_t)size, 1);
        if (!argv[i])
            argv = 0;
        else
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, argv[i], size, 0, 0);
    }
    if (!argv) {
        fputs("kandu-calc: no memory for the arguments\n", stderr);
        return 1;
    }
    return run(argc, argv);
}
#else
int main(int argc, char **argv) {
    // A reader that goes away is a write that fails, reported as any other,
    // rather than a silent end by the signal.
    signal(SIGPIPE, SIG_IGN);
    return run(argc, argv);
}
#endif
