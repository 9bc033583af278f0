// The batch engine behind kandu-calc's batch mode: lines in any pieces,
// line endings, invalid lines, and agreement with parse_int.
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
};

void collect_write(void *context, const char *text, size_t length) {
    ((Collected *)context)->output.append(text, length);
}

void collect_invalid(void *context, uint64_t line) {
    ((Collected *)context)->invalid.push_back(line);
}

// Feeds input in pieces of `piece` bytes (0: all at once).
Collected run(const std::string &input, size_t piece = 0, const char *newline = "\n") {
    characteristic_table = &storage;
    fill_characteristic_table();
    Collected c;
    BatchSink sink = {&c, collect_write, collect_invalid};
    BatchState s;
    batch_start(&s, newline);
    if (piece == 0) piece = input.size() ? input.size() : 1;
    for (size_t at = 0; at < input.size(); at += piece)
        batch_feed(&s, input.data() + at, input.size() - at < piece ? input.size() - at : piece,
                   &sink);
    batch_finish(&s, &sink);
    EXPECT_EQ(s.invalid_lines, c.invalid.size());
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

TEST(Batch, LinesWithoutExactlyThreeFieldsAreInvalid) {
    Collected c = run("1100\t150\n"        // 1: two fields
                      "1100\t150\t150\n"   // 2
                      "1100\t150\t150\t\n" // 3: four fields
                      "\n"                 // 4: one empty field
                      "1100 150 150\n"     // 5: blanks do not separate
                      "\t\t\n"             // 6: three empty fields
                      "1100\t150\t150\n"); // 7
    EXPECT_EQ(c.output, "invalid input\n1100\ninvalid input\ninvalid input\ninvalid input\n"
                        "out of range\n1100\n");
    EXPECT_EQ(c.invalid, (std::vector<uint64_t>{1, 3, 4, 5}));
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
    EXPECT_EQ(whole.invalid, (std::vector<uint64_t>{3, 6}));
}

TEST(Batch, AZeroByteEndsAFieldsText) {
    std::string input("1100\t200\0"
                      "99\t250\n",
                      15);
    EXPECT_EQ(run(input).output, "880\n");
}

} // namespace
