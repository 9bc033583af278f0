// The batch engine behind kandu-calc's batch mode: lines in any pieces,
// line endings, the ways a line is split, invalid lines, encodings, input
// that is not text, and agreement with parse_int.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>
#include <string>
#include <vector>
#include "calc/batch.h"
#include "calc/characteristic.h"
#include "calc/coefficient.h"

namespace {

CharacteristicTable storage;

struct Collected {
    std::string output;
    std::vector<uint64_t> invalid;
    uint64_t not_text_line = 0; // 0: the input was text
    int room = -1;              // output lines the sink takes (below 0: any number)
    std::string told;           // values not read as typed, as collect_value writes them
};

bool collect_write(void *context, const char *text, size_t length) {
    Collected *c = (Collected *)context;
    if (c->room-- == 0) return false;
    c->output.append(text, length);
    return true;
}

void collect_invalid(void *context, uint64_t line) {
    ((Collected *)context)->invalid.push_back(line);
}

// line.value=read_as "kept text", ... when cut, "range" when only too large.
void collect_value(void *context, const BatchValue *v) {
    ((Collected *)context)->told += std::to_string(v->line_number) + "." +
                                    std::to_string(v->index) + "=" + std::to_string(v->read_as) +
                                    " \"" + std::string(v->text, v->length) +
                                    (v->cut ? "...\"" : "\"") + (v->whole_form ? " range; " : "; ");
}

// A literal's bytes, zero bytes inside included.
template <size_t N> std::string bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

// Feeds input in pieces of `piece` bytes (0: all at once).
Collected run(const std::string &input, size_t piece = 0, const char *newline = "\n",
              int room = -1) {
    characteristic_table = &storage;
    fill_characteristic_table();
    Collected c;
    c.room = room;
    BatchSink sink = {&c, collect_write, collect_invalid, collect_value};
    BatchState s;
    batch_start(&s, newline);
    if (piece == 0) piece = input.size() ? input.size() : 1;
    bool more = true;
    for (size_t at = 0; more && at < input.size(); at += piece)
        more = batch_feed(&s, input.data() + at,
                          input.size() - at < piece ? input.size() - at : piece, &sink);
    batch_finish(&s, &sink);
    EXPECT_EQ(s.invalid_lines, c.invalid.size());
    if (s.not_text) c.not_text_line = s.line_number + 1;
    return c;
}

TEST(Batch, OneOutputLinePerInputLine) {
    Collected c = run("1100\t150\t150\n1100\t200\t250\n700\t200\t250\n1100\t150\t20\n");
    EXPECT_EQ(c.output, "1100\n880\n560\nout of range\n");
    EXPECT_TRUE(c.invalid.empty());
}

TEST(Batch, FieldsAreReadAsTheFormReadsThem) {
    Collected c = run("1100.7\t  200 degrees\t+250\nabc\t150\t150\n1100\t99.9\t100\n");
    EXPECT_EQ(c.output, "880\nout of range\n" + std::string("1090\n"));
    EXPECT_TRUE(c.invalid.empty());
}

TEST(Batch, LinesWithoutExactlyThreeValuesAreInvalid) {
    Collected c = run("1100\t150\n"        // 1: two fields
                      "1100\t150\t150\n"   // 2
                      "1100\t150\t150\t\n" // 3: four fields
                      "\n"                 // 4: blank
                      "1100 150 150\n"     // 5: blanks separate too
                      "\t\t\n"             // 6: three empty fields
                      "1100 150\n"         // 7: two words
                      "1100,150;150\n"     // 8: two values split on semicolons
                      "1100,150,150,\n"    // 9: four values split on commas
                      "1 100 150 150\n");  // 10: four words
    EXPECT_EQ(c.output, "invalid input\n1100\ninvalid input\n\n1100\nout of range\n"
                        "invalid input\ninvalid input\ninvalid input\ninvalid input\n");
    EXPECT_EQ(c.invalid, (std::vector<uint64_t>{1, 3, 7, 8, 9, 10}));
}

TEST(Batch, TabsThenSemicolonsThenCommasThenBlanksSplitALine) {
    // Each value is the text between separators, read as the form reads it.
    Collected c = run("1100 x\t 200,5\t250;9\n" // tabs: " 200,5" is 200
                      "1100;200,5;250\n"        // a decimal comma is cut like a point
                      "1100, 200 ,250.5\n"      // values "1100", " 200 ", "250.5"
                      "  1100   200\v 250  \n"  // runs of blanks; "200\v" is 200
                      ";;\n"                    // three empty values: 0
                      "   \r\n"                 // blanks only: blank
                      "1100\t200\t250");
    EXPECT_EQ(c.output, "880\n880\n880\n880\nout of range\n\n880\n");
    EXPECT_TRUE(c.invalid.empty());
}

TEST(Batch, ByteOrderMarksAndUtf16) {
    const std::string plain = "1100\t200\t250\r\n700;200;250\n \n1100 21 100\n1100\xe2\x80\xaf"
                              "200\n";
    Collected expected = run(plain);
    ASSERT_EQ(expected.output, "880\n560\n\nout of range\ninvalid input\n");
    std::string utf8 = "\xef\xbb\xbf" + plain;
    // The same text in UTF-16; U+202F (a narrow blank) is no separator.
    const char16_t *text = u"1100\t200\t250\r\n700;200;250\n \n1100 21 100\n1100\u202f200\n";
    std::string le = "\xff\xfe", be = "\xfe\xff";
    for (const char16_t *t = text; *t; ++t) {
        char low = (char)(*t & 0xff), high = (char)(*t >> 8);
        le += std::string{low, high};
        be += std::string{high, low};
    }
    for (const std::string *input : {&utf8, &le, &be})
        for (size_t piece = 1; piece <= 5; ++piece) {
            Collected c = run(*input, piece);
            ASSERT_EQ(c.output, expected.output) << "pieces of " << piece;
            ASSERT_EQ(c.invalid, expected.invalid);
            ASSERT_EQ(c.not_text_line, 0u);
        }
    // Bytes that only begin a mark are text; a mark later on is not skipped.
    EXPECT_EQ(run("\xef\xbb").output, "invalid input\n");
    EXPECT_EQ(run("700\t200\t250\n\xef\xbb\xbf"
                  "1100\t200\t250\n")
                  .output,
              "560\nout of range\n");
}

TEST(Batch, InputThatIsNotTextStopsAtItsLine) {
    // Results before the line stand; nothing of it or after it is written.
    Collected c = run(bytes("1100\t200\t250\n1100\t200\0"
                            "99\t250\n700\t200\t250\n"));
    EXPECT_EQ(c.output, "880\n");
    EXPECT_EQ(c.not_text_line, 2u);
    EXPECT_EQ(run(std::string(16, '\0')).not_text_line, 1u);
    // Other control characters are text, as a field may hold them.
    EXPECT_EQ(run("1100\t2\x1b"
                  "00\t250\x7f\n")
                  .output,
              run("1100\t2\t250\n").output);
    // UTF-16 without its mark has zero bytes; with it, an odd length is cut off.
    EXPECT_EQ(run(bytes("1\0001\000")).not_text_line, 1u);
    Collected odd = run(bytes("\xff\xfe"
                              "7\0000\0000\000 \0002\0000\0000\000 \0002\0005\0000\000\n\000"
                              "8"));
    EXPECT_EQ(odd.output, "560\n");
    EXPECT_EQ(odd.not_text_line, 2u);
}

TEST(Batch, ALineOfOnlyCtrlZEndsTheInput) {
    // As a Windows console gives Ctrl+Z then Enter.
    Collected c = run(bytes("1100\t200\t250\r\n\x1a\r\nanything\0"));
    EXPECT_EQ(c.output, "880\n");
    EXPECT_EQ(c.not_text_line, 0u);
    EXPECT_EQ(run("\x1a\n1100\t200\t250\n").output, "");
    EXPECT_EQ(run("700\t200\t250\n\x1a\r").output, "560\n");
    // Anywhere else it is text, as in a field.
    EXPECT_EQ(run("\x1a"
                  "1100 200 250\n1100\t2\x1a"
                  "00\t250\n\x1a\r\r\n")
                  .output,
              "out of range\n" + run("1100\t2\t250\n").output + "invalid input\n");
}

TEST(Batch, LineEndings) {
    // CRLF input: the CR is not part of the third field.
    EXPECT_EQ(run("1100\t200\t250\r\n700\t200\t250\r\n").output, "880\n560\n");
    // A last line without a line ending still counts, with or without a CR.
    EXPECT_EQ(run("1100\t200\t250\n700\t200\t250").output, "880\n560\n");
    EXPECT_EQ(run("700\t200\t250\r").output, "560\n");
    // A CR anywhere else is text; it ends a number like any other letter.
    EXPECT_EQ(run("1100\t200\t25\r0\r\n").output, run("1100\t200\t25\n").output);
    EXPECT_EQ(run("1100\r\t200\t250\n").output, "880\n");
    Collected c = run("1100\t200\r\n250\n");
    EXPECT_EQ(c.invalid, (std::vector<uint64_t>{1, 2}));
    // Output line ending as asked.
    EXPECT_EQ(run("1100\t200\t250\nx\n", 0, "\r\n").output, "880\r\ninvalid input\r\n");
    // No input, no output.
    EXPECT_EQ(run("").output, "");
}

TEST(Batch, PiecesOfAnySizeGiveTheSameOutput) {
    std::string input = "1100\t200\t250\r\n  -12x\t+7\t1e3\n\n885\t300\t300\r\n"
                        "4294967297\t150\t150\n1100\t150\t150\t1\n1100\t21\t100\r\n700\t200\t250";
    Collected whole = run(input);
    for (size_t piece = 1; piece <= input.size(); ++piece) {
        Collected c = run(input, piece);
        ASSERT_EQ(c.output, whole.output) << "pieces of " << piece;
        ASSERT_EQ(c.invalid, whole.invalid) << "pieces of " << piece;
    }
    EXPECT_EQ(whole.invalid, (std::vector<uint64_t>{6}));
}

TEST(Batch, ALineTheSinkRefusesStopsTheEngine) {
    // Nothing of or after the refused line is computed or reported, and
    // finishing adds no last line.
    const std::string input = "x\n1100\t200\t250\ny\n1100\t2";
    for (size_t piece = 1; piece <= input.size(); ++piece) {
        Collected c = run(input, piece, "\n", 2);
        ASSERT_EQ(c.output, "invalid input\n880\n") << "pieces of " << piece;
        ASSERT_EQ(c.invalid, (std::vector<uint64_t>{1}));
    }
    EXPECT_TRUE(run(input, 0, "\n", 0).invalid.empty());
}

TEST(Batch, ValuesThatDoNotReadAsTypedAreTold) {
    // Only those of computed lines; the first value ends where its line's
    // split says; a value is quoted from the line's first BATCH_KEPT characters.
    const std::string input = " -1100 \t+200 \t0250\n1100;5\t200\t2 5\n1100x;200;1e3\n"
                              "-5 200 \xb1 \n1100 ,20.5,-2147483649\n1 2 3 x\n\t-\t\n" +
                              std::string(BATCH_KEPT - 11, ' ') + "1100 200 250x\n";
    const std::string told = "2.1=1100 \"1100;5\"; 2.3=2 \"2 5\"; 3.1=1100 \"1100x\"; "
                             "3.3=1 \"1e3\"; 4.3=0 \"\xb1\"; 5.2=20 \"20.5\"; "
                             "5.3=2147483647 \"-2147483649\" range; 7.1=0 \"\"; 7.2=0 \"-\"; "
                             "7.3=0 \"\"; 8.3=250 \"25...\"; ";
    for (size_t piece = 1; piece <= 7; ++piece)
        ASSERT_EQ(run(input, piece).told, told) << "pieces of " << piece;
}

} // namespace
