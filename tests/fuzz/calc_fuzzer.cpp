// libFuzzer target for the calculation core. Besides running the code under
// the sanitizers it checks properties that any correct result has:
//   - parse_int agrees with a separate reading of the text (the sum of
//     digit * 10^k modulo 2^32, formed from the right);
//   - format_int writes what "%d" writes, and parse_int reads it back;
//   - a valid coefficient is a multiple of 10 within 400..4000 and comes
//     from a displayed temperature within 21..500;
//   - truncate_to_int agrees with truncation in double;
//   - the streaming batch engine, fed in pieces, agrees with decoding the
//     whole input, splitting it into lines and values and parsing each value,
//     and tells the values that are not whole numbers as typed or do not fit
//     in 32 bits, quoted from the line's first BATCH_KEPT characters.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <string>
#include <vector>
#include "calc/batch.h"
#include "calc/characteristic.h"
#include "calc/coefficient.h"

namespace {

CharacteristicTable table;

void check(bool ok, const char *what) {
    if (!ok) {
        fprintf(stderr, "property failed: %s\n", what);
        abort();
    }
}

int32_t reference_parse(const char *text) {
    const char *p = text;
    while (*p == ' ')
        ++p;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    } else if (*p == '+') {
        ++p;
    }
    const char *first = p;
    while (*p >= '0' && *p <= '9')
        ++p;
    uint32_t sum = 0, power = 1;
    for (const char *d = p; d-- != first;) {
        sum += (uint32_t)(*d - '0') * power;
        power *= 10u;
    }
    if (negative) sum = 0u - sum;
    int32_t value;
    memcpy(&value, &sum, sizeof value);
    return value;
}

void check_integer_text(const char *text) {
    int32_t n = parse_int(text);
    check(n == reference_parse(text), "parse_int matches the digit sum");
    char mine[FORMAT_INT_MAX + 4], theirs[32];
    char *end = format_int(n, mine);
    snprintf(theirs, sizeof theirs, "%d", (int)n);
    check(strcmp(mine, theirs) == 0, "format_int writes what %d writes");
    check(end == mine + strlen(mine) && *end == 0, "format_int returns the end");
    check(parse_int(mine) == n, "parse_int reads format_int back");
}

void check_outcome(int32_t coeff, int32_t displayed, int32_t real) {
    CoefficientOutcome o = compute_coefficient(coeff, displayed, real);
    CoefficientOutcome again = compute_coefficient(coeff, displayed, real);
    check(o.valid == again.valid && o.value == again.value, "same inputs, same outcome");
    if (!o.valid) return;
    check(o.value % 10 == 0, "a multiple of 10");
    check(o.value >= 400 && o.value <= 4000, "within 400..4000");
    check(displayed > 20 && displayed <= 500, "displayed within 21..500");
}

void check_truncation(float x) {
    int32_t got = truncate_to_int(x);
    int32_t expected = INT32_MIN;
    if (!isnan(x)) {
        double t = trunc((double)x);
        if (t >= -2147483648.0 && t < 2147483648.0) expected = (int32_t)t;
    }
    check(got == expected, "truncate_to_int matches truncation in double");
}

bool collect(void *context, const char *text, size_t length) {
    ((std::string *)context)->append(text, length);
    return true;
}

// Values told as not read as typed: line.value=read_as "kept text", " range"
// when only too large.
std::string engine_told;
void tell(std::string *to, uint64_t line, int value, int32_t read_as, const std::string &text,
          bool range) {
    *to += std::to_string(line) + "." + std::to_string(value) + "=" + std::to_string(read_as) +
           " \"" + text + (range ? "\" range; " : "\"; ");
}
void collect_told(void *, const BatchValue *v) {
    tell(&engine_told, v->line_number, v->index, v->read_as, std::string(v->text, v->length),
         v->whole_form);
}

std::vector<std::string> split(const std::string &line, char separator) {
    std::vector<std::string> values(1);
    for (char c : line)
        if (c == separator)
            values.emplace_back();
        else
            values.back() += c;
    return values;
}

// The values of a line split on a separator; on ' ', its words.
std::vector<std::string> values_of(const std::string &line, char separator) {
    std::vector<std::string> values = split(line, separator), words;
    for (const std::string &word : values)
        if (!word.empty()) words.push_back(word);
    return separator == ' ' ? words : values;
}

std::string reference_line(const std::string &line, uint64_t line_number, std::string *told) {
    char separator = ' ';
    for (char c : {',', ';', '\t'})
        if (line.find(c) != std::string::npos) separator = c;
    std::vector<std::string> values = values_of(line, separator);
    if (values.empty()) return "\n";
    if (values.size() != 3) return std::string(INVALID_INPUT_TEXT) + "\n";
    std::vector<std::string> kept = values_of(line.substr(0, BATCH_KEPT), separator);
    int32_t v[3];
    for (int f = 0; f < 3; ++f) {
        v[f] = parse_int(values[f].c_str());
        long long n = strtoll(values[f].c_str(), nullptr, 10);
        // Blanks, a sign, ASCII digits, blanks.
        const std::string &t = values[f];
        size_t a = t.find_first_not_of(' '),
               digits = a + (a < t.size() && (t[a] == '-' || t[a] == '+'));
        size_t end = std::min(t.find_first_not_of("0123456789", digits), t.size());
        bool whole_form = end > digits && t.find_first_not_of(' ', end) == std::string::npos;
        if (!whole_form || n < INT32_MIN || n > INT32_MAX)
            tell(told, line_number, f + 1, v[f], f < (int)kept.size() ? kept[f] : "", whole_form);
    }
    check_outcome(v[0], v[1], v[2]);
    CoefficientOutcome o = compute_coefficient(v[0], v[1], v[2]);
    char number[FORMAT_INT_MAX];
    format_int(o.value, number);
    return (o.valid ? std::string(number) : std::string(OUT_OF_RANGE_TEXT)) + "\n";
}

// The input as characters: after a UTF-8 mark the bytes, after a UTF-16 mark
// one character per unit (outside ASCII: 0x80); an odd byte at the end
// becomes a zero, which is no text.
std::string reference_text(const uint8_t *data, size_t size) {
    bool le = size >= 2 && data[0] == 0xff && data[1] == 0xfe;
    bool be = size >= 2 && data[0] == 0xfe && data[1] == 0xff;
    if (!le && !be) {
        size_t skip = size >= 3 && memcmp(data, "\xef\xbb\xbf", 3) == 0 ? 3 : 0;
        return std::string((const char *)data + skip, size - skip);
    }
    std::string text;
    for (size_t k = 2; k + 1 < size; k += 2) {
        unsigned unit = le ? data[k] | data[k + 1] << 8 : data[k] << 8 | data[k + 1];
        text += (char)(unit < 0x80 ? unit : 0x80);
    }
    if (size % 2) text += '\0';
    return text;
}

void check_batch(const uint8_t *data, size_t size) {
    std::string text = reference_text(data, size);
    // Line by line, up to a line of only a Ctrl+Z, or up to a line with a
    // zero, which is no text.
    std::string expected;
    std::string expected_told;
    bool not_text = false;
    uint64_t line_number = 0;
    size_t start = 0;
    for (size_t k = 0; k <= text.size(); ++k) {
        if (k < text.size() && text[k] != '\n') continue;
        if (k == text.size() && start == text.size()) break;
        std::string line = text.substr(start, k - start);
        start = k + 1;
        ++line_number;
        if (line.find('\0') != std::string::npos) {
            not_text = true;
            break;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "\x1a") break;
        expected += reference_line(line, line_number, &expected_told);
    }
    std::string got;
    engine_told.clear();
    BatchSink sink = {&got, collect, nullptr, collect_told};
    BatchState s;
    batch_start(&s, "\n");
    size_t piece = size ? 1 + data[0] % 16 : 1;
    for (size_t at = 0; at < size; at += piece)
        batch_feed(&s, (const char *)data + at, size - at < piece ? size - at : piece, &sink);
    batch_finish(&s, &sink);
    check(got == expected, "batch engine agrees with line-by-line parsing");
    check(engine_told == expected_told, "batch engine tells the values not read as typed");
    check(s.not_text == not_text, "batch engine tells input that is not text");
    check(!not_text || s.line_number + 1 == line_number, "batch engine stops at the line not text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!characteristic_table) {
        characteristic_table = &table;
        fill_characteristic_table();
    }

    std::string text((const char *)data, size);
    check_integer_text(text.c_str());

    if (size >= 12) {
        int32_t raw[3];
        memcpy(raw, data, sizeof raw);
        check_outcome(raw[0], raw[1], raw[2]);
        float x;
        memcpy(&x, data, sizeof x);
        check_truncation(x);
        check_truncation(table_to_temperature(x));
    }

    check_batch(data, size);
    return 0;
}
