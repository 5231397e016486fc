// Inputs found by fuzzing the readers (the free-form reader, the biological
// file and the options file), kept so that the faults stay mended.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "io/input.hpp"
#include "records/records.hpp"
#include "io_fixture.hpp"

using namespace tacsim;
using tacsim::testing::ScratchDir;

namespace {

std::string reference_file(const std::string& rel) {
    std::ifstream f(std::string(TACSIM_SOURCE_DIR) + "/tests/golden/data/" + rel, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string replace_line(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find("\n" + from + "\n");
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at + 1, from.size(), to);
    return text;
}

}  // namespace

// Each test runs in a scratch working directory, where the readers of the
// input files look for them.
class FuzzRegression : public ScratchDir {
protected:
    void write_full_case(const std::string& opt) {
        write("bio.inn", reference_file("full/bio.inn"));
        write("nin.inn", reference_file("full/nin.inn"));
        write("canum.inn", reference_file("full/canum.inn"));
        write("opt.inn", opt);
    }
};

// A comma first on the first line of a read from a file is a null first
// value, as it is on a stored line; the file reader took it as a plain
// separator and gave the first item the second value.
TEST_F(FuzzRegression, LeadingCommaInFileReadIsNullValue) {
    int a = 5, b = 0;
    list_read(",3", {a, b}, {"t", 1});
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 3);

    InFile in;
    in.open_text(",3\n", "t");
    int c = 5, d = 0;
    ASSERT_TRUE(in.list_read({c, d}));
    EXPECT_EQ(c, 5);
    EXPECT_EQ(d, 3);
}

// Blank lines before the first value are line ends, that is blanks: the
// comma that follows them still opens the read.
TEST_F(FuzzRegression, LeadingCommaAfterBlankLinesIsNullValue) {
    InFile in;
    in.open_text("\n  \r\n , 7 8\n", "t");
    int a = 1, b = 0, c = 0;
    ASSERT_TRUE(in.list_read({a, b, c}));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 7);
    EXPECT_EQ(c, 8);
}

// A decision basis window that ends in the largest integer year, with
// spawning after part of the year's mortality: the one extra year overflowed
// the integer. The file must stop with the message on years beyond the TAC
// year.
TEST_F(FuzzRegression, BasisWindowAtLargestYearStops) {
    write_full_case(replace_line(reference_file("full/opt.inn"), "1 1 -1 0 1", "1 1 -1 2147483647 1"));
    EXPECT_EQ(status_of(getpopinn), 0);
    EXPECT_EQ(status_of(getoptinn), 1);
    const auto out = console();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), " The options reach more than 5 years beyond the TAC year");
}

// A repeated value between quotes is read as the same value alone: a doubled
// quote inside stands for one (the repeat form cut the value at it and read
// the rest as a further value).
TEST_F(FuzzRegression, RepeatedQuotedValueKeepsDoubledQuote) {
    std::string a, b, c;
    list_read("2*'it''s' x", {InItem(a, 5), InItem(b, 5), InItem(c, 5)}, {"t", 1});
    EXPECT_EQ(a, "it's ");
    EXPECT_EQ(b, "it's ");
    EXPECT_EQ(c, "x    ");

    std::string e, f;
    list_read("1*\"say \"\"no\"\"\" /", {InItem(e, 10), InItem(f, 3)}, {"t", 1});
    EXPECT_EQ(e, "say \"no\"  ");
    EXPECT_EQ(f, "");
}

// A quoted value is a character value, never a number, also when repeated
// (the repeat form read '5' as the integer 5).
TEST_F(FuzzRegression, RepeatedQuotedValueIsNoNumber) {
    int i = 0;
    float x = 0;
    EXPECT_THROW(list_read("'5'", {i}, {"t", 1}), RecordError);
    try {
        list_read("1*'5'", {i}, {"t", 1});
        FAIL();
    } catch (const RecordError& e) {
        EXPECT_STREQ(e.what(), "Bad integer for item 1 in list input (file t, line 1)");
    }
    try {
        list_read("2*\"1.5\"", {x}, {"bio.inn", 9});
        FAIL();
    } catch (const RecordError& e) {
        EXPECT_STREQ(e.what(), "Bad real number in item 1 of list input (file bio.inn, line 9)");
    }
    EXPECT_EQ(i, 0);
}

// An empty quoted value is a value (all blanks), not a null value, also when
// repeated.
TEST_F(FuzzRegression, RepeatedEmptyQuotedValueIsBlank) {
    std::string a = "old", b = "old";
    list_read("2*''", {InItem(a, 3), InItem(b, 3)}, {"t", 1});
    EXPECT_EQ(a, "   ");
    EXPECT_EQ(b, "   ");
}

// A byte-order mark is part of the file, not of its first record: the file
// reader drops it, and the first line then reads as that record read alone
// (the fuzz target took the mark for part of the line).
TEST_F(FuzzRegression, ByteOrderMarkIsNoPartOfTheFirstRecord) {
    std::string stored = "init", read = "init";
    list_read("\xFF\xFE", {InItem(stored, 4)}, {"t", 1});
    InFile in;
    in.open_text("\xEF\xBB\xBF\xFF\xFE", "t");
    ASSERT_TRUE(in.list_read({InItem(read, 4)}));
    EXPECT_EQ(read, stored);
    EXPECT_EQ(read, "\xFF\xFE  ");
}
