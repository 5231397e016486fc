// Reading result tables back: the CSV dialect the tables are written in,
// gzip, and messages that name the file and the line.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

#include "report/table.hpp"

namespace tacsim::report {
namespace {

namespace fs = std::filesystem;

std::string message_of(const std::string& text) {
    try {
        parse_table(text, "t.csv");
    } catch (const ReportError& e) {
        return e.what();
    }
    return "";
}

TEST(ReportTable, ReadsQuotedFieldsLineEndsAndEmptyValues) {
    const Table t = parse_table(
        "\xEF\xBB\xBFset,name,value\r\n1,\"a, \"\"quoted\"\"\nname\",1.5\n2,plain,\n\n3,\"\",-2e-3", "t.csv");
    ASSERT_EQ(t.header, (std::vector<std::string>{"set", "name", "value"}));
    ASSERT_EQ(t.rows.size(), 3u);
    EXPECT_EQ(t.rows[0][1], "a, \"quoted\"\nname");
    EXPECT_EQ(t.lines, (std::vector<std::size_t>{2, 4, 6}));  // the quoted line end counts
    EXPECT_EQ(t.value(0, 2), 1.5);
    EXPECT_FALSE(t.number(1, 2).has_value());
    EXPECT_EQ(t.value(2, 2), -0.002);
    EXPECT_EQ(t.find("VALUE"), 2);
    EXPECT_EQ(t.find("missing"), -1);
}

TEST(ReportTable, FaultsNameTheFileAndLine) {
    EXPECT_EQ(message_of("a,b\n1,2\n3\n"), "t.csv, line 3: 1 fields where the header has 2");
    EXPECT_EQ(message_of("a,b\n1,\"open\n"), "t.csv, line 2: a quoted field is not closed");
    EXPECT_EQ(message_of("a,b\n1,x\"y\n"), "t.csv, line 2: a quote inside an unquoted field");
    EXPECT_EQ(message_of(""), "t.csv: empty (no header row)");
    const Table t = parse_table("a,b\n1,2\n1,abc\n", "t.csv");
    try {
        t.value(1, 1);
        FAIL() << "no error for a text in a number column";
    } catch (const ReportError& e) {
        EXPECT_STREQ(e.what(), "t.csv, line 3: \"abc\" in column b is not a number");
    }
    try {
        t.need("c");
        FAIL() << "no error for a missing column";
    } catch (const ReportError& e) {
        EXPECT_STREQ(e.what(), "t.csv: no column \"c\"");
    }
}

TEST(ReportTable, ReadsGzipAndNamesAMissingFile) {
    const fs::path dir = fs::temp_directory_path() / ("tacsim-report-table-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string text = "set,iteration\n1,1\n1,2\n";
    gzFile gz = gzopen((dir / "x.csv.gz").c_str(), "wb");
    ASSERT_NE(gz, nullptr);
    gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
    gzclose(gz);
    const Table t = read_table(dir / "x.csv.gz");
    EXPECT_EQ(t.name, "x.csv.gz");
    EXPECT_EQ(t.rows.size(), 2u);
    std::ofstream(dir / "bad.csv.gz") << "not compressed at all";
    EXPECT_THROW(read_table(dir / "missing.csv"), ReportError);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tacsim::report
