#include "records/records.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <cstdio>
#include <limits>
#include <unistd.h>
#include <string>
#include <vector>

using namespace tacsim;

namespace {

// Captures what an OutFile writes.
struct Capture {
    std::FILE* f = std::tmpfile();
    OutFile out;
    Capture() { out.attach(f, "capture"); }
    // The stream lets go of the file (handing over what it still holds)
    // before the file is closed.
    ~Capture() {
        out.close();
        std::fclose(f);
    }
    std::string text() {
        out.flush();
        std::rewind(f);
        std::string s;
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        return s;
    }
};

std::string fmt(const char* layout, std::initializer_list<Item> items) {
    Capture c;
    fmt_write(c.out, Layout(layout), items);
    return c.text();
}

std::string freeform(std::initializer_list<Item> items) {
    Capture c;
    list_write(c.out, items);
    return c.text();
}

}  // namespace

TEST(RecordsFixed, LeadingZeroKeptOnlyWhereItFits) {
    EXPECT_EQ(format_fixed(0.5f, 5, 2), " 0.50");
    EXPECT_EQ(format_fixed(0.5f, 4, 2), "0.50");
    EXPECT_EQ(format_fixed(0.5f, 3, 2), ".50");
    EXPECT_EQ(format_fixed(-0.5f, 4, 2), "-.50");
    EXPECT_EQ(format_fixed(123.456f, 5, 2), "*****");
    EXPECT_EQ(format_fixed(3.0f, 10, 0), "        3.");
}

TEST(RecordsFixed, HalfwayTiesToEvenAndNegativeZeroKeepsSign) {
    EXPECT_EQ(format_fixed(2.5f, 10, 0), "        2.");
    EXPECT_EQ(format_fixed(3.5f, 10, 0), "        4.");
    EXPECT_EQ(format_fixed(0.125f, 6, 2), "  0.12");
    EXPECT_EQ(format_fixed(-0.001f, 6, 2), " -0.00");
    EXPECT_EQ(format_fixed(-0.0f, 6, 2), " -0.00");
}

TEST(RecordsFixed, IntegerFieldOverflowsToAsterisks) {
    EXPECT_EQ(format_int(42, 5), "   42");
    EXPECT_EQ(format_int(-42, 3), "-42");
    EXPECT_EQ(format_int(12345, 4), "****");
}

// The formatter before it was written with std::to_chars, kept here as the
// oracle: printf's conversions of the exact binary value.
namespace printf_oracle {

std::string free_real(float v) {
    char buf[64];
    if (!std::isfinite(v)) {
        std::snprintf(buf, sizeof buf, "%15s", nonfinite_text(v, 15));
        return buf;
    }
    if (v == 0.0f) {
        std::snprintf(buf, sizeof buf, "%11s    ", std::signbit(v) ? "-0.0000000" : "0.0000000");
        return buf;
    }
    char e[48];
    std::snprintf(e, sizeof e, "%.7E", static_cast<double>(v));
    const int exponent = std::atoi(std::strchr(e, 'E') + 1);
    if (exponent >= -1 && exponent <= 7) {
        const int k = exponent >= 0 ? exponent + 1 : 0;
        std::snprintf(buf, sizeof buf, "%#11.*f    ", 8 - k, static_cast<double>(v));
    } else {
        std::snprintf(buf, sizeof buf, "%15s", e);
    }
    return buf;
}

std::string fixed(float v, int w, int d) {
    char buf[96];
    if (!std::isfinite(v)) std::snprintf(buf, sizeof buf, "%s", nonfinite_text(v, w));
    else if (d == 0) std::snprintf(buf, sizeof buf, "%#.0f", static_cast<double>(v));
    else std::snprintf(buf, sizeof buf, "%.*f", d, static_cast<double>(v));
    std::string s(buf);
    if (static_cast<int>(s.size()) > w) {
        if (s.rfind("0.", 0) == 0) s.erase(0, 1);
        else if (s.rfind("-0.", 0) == 0) s.erase(1, 1);
    }
    if (static_cast<int>(s.size()) > w) return std::string(static_cast<std::size_t>(w), '*');
    return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

std::string integer(int v, int w) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d", v);
    const std::size_t len = std::strlen(buf);
    if (static_cast<int>(len) > w) return std::string(static_cast<std::size_t>(w), '*');
    return std::string(static_cast<std::size_t>(w) - len, ' ') + buf;
}

}  // namespace printf_oracle

namespace {

// Floats a formatter can get wrong: every bit pattern at random, ordinary
// magnitudes, exact ties at some decimal (n / 2^m), their neighbours, and the
// neighbourhoods of powers of ten and of the eight-digit rounding boundaries.
std::vector<float> formatting_sample() {
    std::mt19937 rng(20261207);
    std::vector<float> v;
    auto both = [&v](float x) {
        v.push_back(x);
        v.push_back(-x);
    };
    for (int i = 0; i < 60000; ++i) v.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(rng())));
    std::uniform_real_distribution<float> mant(1.0f, 2.0f);
    std::uniform_int_distribution<int> ex(-30, 40);
    for (int i = 0; i < 60000; ++i) both(std::ldexp(mant(rng), ex(rng)));
    std::uniform_int_distribution<int> num(0, 1 << 22), shift(0, 14);
    for (int i = 0; i < 40000; ++i) {
        const float t = std::ldexp(static_cast<float>(num(rng)), -shift(rng));
        both(t);
        both(std::nextafter(t, 0.0f));
        both(std::nextafter(t, 1e30f));
    }
    for (int k = -45; k <= 38; ++k) {
        for (double c : {1.0, 0.5, 9.5, 9.9999999, 9.99999995, 9.999999949, 9.999999951}) {
            float x = static_cast<float>(c * std::pow(10.0, k));
            for (int s = 0; s < 4; ++s) x = std::nextafter(x, 0.0f);
            for (int s = 0; s < 8; ++s, x = std::nextafter(x, 1e38f)) both(x);
        }
    }
    for (float x : {0.0f, 1.0f, 0.5f, 2.5f, 3.5f, 0.125f, 0.375f, 1e-45f, 1.17549435e-38f,
                    std::numeric_limits<float>::max(), std::numeric_limits<float>::infinity(),
                    std::numeric_limits<float>::quiet_NaN()})
        both(x);
    return v;
}

}  // namespace

// The formatter gives printf's text, to the byte, over a large random and
// edge-case sample, for every width and number of decimals the layouts use,
// through the single-value functions and through both writers.
TEST(RecordsFormatting, SameTextAsPrintf) {
    const std::vector<float> sample = formatting_sample();
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> width(1, 24), decimals(0, 12);
    std::size_t bad = 0;
    auto check = [&bad](const std::string& got, const std::string& want, const std::string& what) {
        if (got == want) return;
        if (++bad <= 10) ADD_FAILURE() << what << ": got \"" << got << "\", printf gives \"" << want << "\"";
    };
    char hex[16];
    for (float v : sample) {
        std::snprintf(hex, sizeof hex, "%08x", std::bit_cast<std::uint32_t>(v));
        check(format_free_real(v), printf_oracle::free_real(v), std::string("free-form ") + hex);
        for (int r = 0; r < 3; ++r) {
            const int w = width(rng), d = decimals(rng);
            check(format_fixed(v, w, d), printf_oracle::fixed(v, w, d),
                  "f" + std::to_string(w) + "." + std::to_string(d) + " of " + hex);
        }
    }
    // Decimals beyond every float's exact expansion, and texts longer than the
    // old 95-character buffer, which cut them.
    for (float v : {1.0f, -3.4e38f, 1e-45f, 0.1f, 123.456f})
        for (int d : {40, 60, 100, 148, 149, 150, 200})
            for (int w : {20, 60, 94, 95, 96, 120})
                check(format_fixed(v, w, d), printf_oracle::fixed(v, w, d),
                      "f" + std::to_string(w) + "." + std::to_string(d));
    std::uniform_int_distribution<int> any(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    std::uniform_int_distribution<int> small(-100000, 100000);
    for (int i = 0; i < 20000; ++i) {
        const int v = i % 2 ? any(rng) : small(rng);
        const int w = width(rng) % 13;
        check(format_int(v, w), printf_oracle::integer(v, w), "i" + std::to_string(w) + " of " + std::to_string(v));
    }
    for (int v : {0, -1, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()})
        for (int w = 0; w <= 12; ++w) check(format_int(v, w), printf_oracle::integer(v, w), "i" + std::to_string(w));

    // The writers: f11.3, i6 and free-form records of the first part of the sample.
    std::vector<Item> reals, ints;
    std::string want_f, want_i, want_free;
    for (std::size_t i = 0; i < 20000; ++i) {
        reals.emplace_back(sample[i * 7 % sample.size()]);
        want_f += printf_oracle::fixed(reals.back().f, 11, 3) + "\r\n";
        const int n = any(rng) >> (i % 31);
        ints.emplace_back(n);
        want_i += printf_oracle::integer(n, 6) + "\r\n";
        want_free += " " + printf_oracle::free_real(reals.back().f) + " " + printf_oracle::integer(n, 11) + "\r\n";
    }
    Capture f, in, fr;
    fmt_write(f.out, Layout("(f11.3)"), reals);
    fmt_write(in.out, Layout("(i6)"), ints);
    for (std::size_t i = 0; i < reals.size(); ++i) list_write(fr.out, {reals[i], ints[i]});
    check(f.text(), want_f, "f11.3 records");
    check(in.text(), want_i, "i6 records");
    check(fr.text(), want_free, "free-form records");
    EXPECT_EQ(bad, 0u);
}

TEST(RecordsFreeWrite, RealsHaveEightSignificantDigits) {
    EXPECT_EQ(format_free_real(1.0f), "  1.0000000    ");
    EXPECT_EQ(format_free_real(123.456f), "  123.45600    ");
    EXPECT_EQ(format_free_real(12345678.0f), "  12345678.    ");
    EXPECT_EQ(format_free_real(0.05f), "  5.0000001E-02");
    EXPECT_EQ(format_free_real(0.3f), " 0.30000001    ");
    EXPECT_EQ(format_free_real(0.0f), "  0.0000000    ");
    EXPECT_EQ(format_free_real(-0.0f), " -0.0000000    ");
    EXPECT_EQ(format_free_real(1.0e8f), "  1.0000000E+08");
    EXPECT_EQ(format_free_real(-2.5e-7f), " -2.5000000E-07");
}

// Values that are not finite numbers, under fw.d at every width from 1 to 12
// and in free-form records: spelt so that R, Python and spreadsheets read
// them, right-justified; a field too narrow for the short spelling is all
// asterisks, as for any number too wide. The layout writer and format_fixed
// must agree.
TEST(RecordsNonFinite, SpellingsAtEveryWidth) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float v;
        const char* longer;  // where it fits
        const char* shorter;
    };
    const Case cases[] = {
        {nan, "NaN", "NaN"}, {-nan, "NaN", "NaN"}, {inf, "Infinity", "Inf"}, {-inf, "-Infinity", "-Inf"}};
    for (const Case& c : cases) {
        for (int w = 1; w <= 12; ++w) {
            std::string want(static_cast<std::size_t>(w), '*');
            for (const char* spelling : {c.shorter, c.longer}) {
                const std::string sp(spelling);
                if (static_cast<int>(sp.size()) <= w) want = std::string(w - sp.size(), ' ') + sp;
            }
            for (int d : {0, 1, 3}) {
                if (d >= w) continue;
                SCOPED_TRACE("value " + std::string(c.longer) + (std::signbit(c.v) ? " (negative)" : "") +
                             ", f" + std::to_string(w) + "." + std::to_string(d));
                EXPECT_EQ(format_fixed(c.v, w, d), want);
                const std::string layout = "(f" + std::to_string(w) + "." + std::to_string(d) + ")";
                EXPECT_EQ(fmt(layout.c_str(), {c.v}), want + "\r\n");
            }
        }
    }
    // The thresholds, spelt out.
    EXPECT_EQ(format_fixed(nan, 2, 0), "**");
    EXPECT_EQ(format_fixed(nan, 3, 1), "NaN");
    EXPECT_EQ(format_fixed(inf, 7, 2), "    Inf");
    EXPECT_EQ(format_fixed(inf, 8, 2), "Infinity");
    EXPECT_EQ(format_fixed(-inf, 3, 1), "***");
    EXPECT_EQ(format_fixed(-inf, 8, 2), "    -Inf");
    EXPECT_EQ(format_fixed(-inf, 9, 2), "-Infinity");
    // Free-form: 15 columns, the long spellings.
    EXPECT_EQ(format_free_real(nan), "            NaN");
    EXPECT_EQ(format_free_real(-nan), "            NaN");
    EXPECT_EQ(format_free_real(inf), "       Infinity");
    EXPECT_EQ(format_free_real(-inf), "      -Infinity");
    EXPECT_EQ(freeform({"x", nan, 1.0f}), " x             NaN   1.0000000    \r\n");
}

TEST(RecordsFreeWrite, RecordLayoutOfItems) {
    EXPECT_EQ(freeform({"Found", 42}), " Found" + std::string(10, ' ') + "42\r\n");
    EXPECT_EQ(freeform({"Need ", 1000, " sets"}), " Need" + std::string(9, ' ') + "1000  sets\r\n");
    EXPECT_EQ(freeform({"ab", "cd"}), " abcd\r\n");
    EXPECT_EQ(freeform({}), "\r\n");
    EXPECT_EQ(freeform({"All years: Cmean", 368.95856f}), " All years: Cmean   368.95856    \r\n");
}

TEST(RecordsLayout, ReversionToLastOutermostGroup) {
    const std::string s =
        fmt("(i4,2(2x,2f10.3))", {7, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f, 8.0f});
    EXPECT_EQ(s,
              "   7       1.000     2.000       3.000     4.000\r\n"
              "       5.000     6.000       7.000     8.000\r\n");
}

TEST(RecordsLayout, IntegerFieldTakesTheWholePartOfARealOrRefusesIt) {
    EXPECT_EQ(fmt("(i5,i12)", {-3.7f, -2147483648.0f}), "   -3 -2147483648\r\n");
    auto refused = [](OutFile& out, float v) {
        try {
            fmt_write(out, Layout("(2i5)"), {1, v});
        } catch (const RecordError& e) {
            return std::string(e.what());
        }
        return std::string("written");
    };
    Capture c;
    c.out.put("first\r\n");
    EXPECT_EQ(refused(c.out, std::nanf("")), "Bad integer for item 2 in laid-out output (file capture, line 2)");
    EXPECT_EQ(refused(c.out, 2147483648.0f), "Bad integer for item 2 in laid-out output (file capture, line 2)");
    // Records already in a file of our own are counted from the file.
    const std::string name = ::testing::TempDir() + "tacsim-iw-" + std::to_string(::getpid()) + ".txt";
    {
        OutFile out;
        ASSERT_TRUE(out.open(name));
        out.put("a\r\nb\r\n");
        out.flush();
        out.put("c\r\n");
        EXPECT_EQ(refused(out, -3.0e9f), "Bad integer for item 2 in laid-out output (file " + name + ", line 4)");
    }
    std::remove(name.c_str());
}

TEST(RecordsLayout, StopsAtFirstDataItemWithoutValue) {
    EXPECT_EQ(fmt("('F at Ymax (approx): ',f5.2)", {0.35f}), "F at Ymax (approx):  0.35\r\n");
    EXPECT_EQ(fmt("(i2,' and ',i2,' more')", {1}), " 1 and \r\n");
    EXPECT_EQ(fmt("(a10,i5,10x,f10.1)", {"TAC       ", 3, 1.5f}), "TAC           3" + std::string(17, ' ') + "1.5\r\n");
    EXPECT_EQ(fmt("(a3,a,a8)", {"abcdef", "xy", "pq"}), "abcxy      pq\r\n");
    EXPECT_EQ(fmt("(3x,'text')", {}), "   text\r\n");
}

TEST(RecordsLayout, RepeatCountsAndBlanksInsideLayout) {
    EXPECT_EQ(fmt("(2i3, 2x ,f6.1)", {1, 2, 3.25f}), "  1  2     3.2\r\n");
    EXPECT_EQ(fmt("(i5)", {1, 2, 3}), "    1\r\n    2\r\n    3\r\n");
}

TEST(RecordsRead, NullValuesRepeatsAndSlash) {
    int a = -1, b = -1, c = -1;
    list_read("1,,3", {a, b, c}, {"t", 1});
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, -1);
    EXPECT_EQ(c, 3);

    float x = 0, y = 0, z = 0, w = 9;
    list_read("2*5 7 /", {x, y, z, w}, {"t", 1});
    EXPECT_EQ(x, 5.0f);
    EXPECT_EQ(y, 5.0f);
    EXPECT_EQ(z, 7.0f);
    EXPECT_EQ(w, 9.0f);

    int p = 4, q = 4, r = 0;
    list_read("2*, 8", {p, q, r}, {"t", 1});
    EXPECT_EQ(p, 4);
    EXPECT_EQ(q, 4);
    EXPECT_EQ(r, 8);

    int first = 5, second = 0;
    list_read(" , 6", {first, second}, {"t", 1});
    EXPECT_EQ(first, 5);
    EXPECT_EQ(second, 6);
}

TEST(RecordsRead, RealForms) {
    float a, b, c, d, e;
    list_read("12 1.5d2 -2E-1 .5 3.", {a, b, c, d, e}, {"t", 1});
    EXPECT_EQ(a, 12.0f);
    EXPECT_EQ(b, 150.0f);
    EXPECT_EQ(c, -0.2f);
    EXPECT_EQ(d, 0.5f);
    EXPECT_EQ(e, 3.0f);
    float tiny = 1;
    list_read("1e-60", {tiny}, {"t", 1});
    EXPECT_EQ(tiny, 0.0f);
}

TEST(RecordsRead, CharacterItems) {
    std::string s1, s2, s3;
    list_read("abc 'it''s here' \"q\"", {InItem(s1, 5), InItem(s2, 4), InItem(s3, 2)}, {"t", 1});
    EXPECT_EQ(s1, "abc  ");
    EXPECT_EQ(s2, "it's");
    EXPECT_EQ(s3, "q ");
}

TEST(RecordsRead, FailuresNameItemFileAndLine) {
    int i = 0;
    float f = 0;
    try {
        list_read("1 x", {i, f}, {"opt.inn", 12});
        FAIL();
    } catch (const RecordError& e) {
        EXPECT_STREQ(e.what(), "Bad real number in item 2 of list input (file opt.inn, line 12)");
    }
    EXPECT_THROW(list_read("1.5", {i}, {"t", 1}), RecordError);
    EXPECT_THROW(list_read("3000000000", {i}, {"t", 1}), RecordError);
    EXPECT_THROW(list_read("1e39", {f}, {"t", 1}), RecordError);
    EXPECT_THROW(list_read("0*3", {i}, {"t", 1}), RecordError);
    EXPECT_THROW(list_read("3000000000*3", {i}, {"t", 1}), RecordError);
    try {
        list_read("   ", {i}, {"bio.inn", 4});
        FAIL();
    } catch (const RecordError& e) {
        EXPECT_STREQ(e.what(), "End of file (file bio.inn, line 4)");
    }
    try {
        list_read("7", {i, f}, {"bio.inn", 5});
        FAIL();
    } catch (const RecordError& e) {
        EXPECT_STREQ(e.what(), "End of file (file bio.inn, line 5)");
    }
}

TEST(RecordsFile, FixedWidthLinesDropCarriageReturn) {
    InFile in;
    in.open_text("abc\r\nlonger line here\nlast", "f");
    std::string rec;
    ASSERT_TRUE(in.read_fixed(rec, 5));
    EXPECT_EQ(rec, "abc  ");
    ASSERT_TRUE(in.read_fixed(rec, 6));
    EXPECT_EQ(rec, "longer");
    ASSERT_TRUE(in.read_fixed(rec, 4));
    EXPECT_EQ(rec, "last");
    EXPECT_EQ(in.line_number(), 3);
    EXPECT_FALSE(in.read_fixed(rec, 4));
}

TEST(RecordsFile, ReadsSpanLinesAndSkipTheRestOfTheLastLine) {
    InFile in;
    in.open_text("1,\n,3 99\n4 5\n1\n,\n3\n", "f");
    int a = 0, b = -7, c = 0, d = 0, e = 0;
    ASSERT_TRUE(in.list_read({a, b, c}));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, -7);
    EXPECT_EQ(c, 3);
    ASSERT_TRUE(in.list_read({d}));
    EXPECT_EQ(d, 4);
    int x = 0, y = 0;
    ASSERT_TRUE(in.list_read({x, y}));
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 3);
    EXPECT_FALSE(in.list_read({e}));
}

TEST(RecordsOutput, WriteFailureIsReported) {
    OutFile full;
    if (!full.open("/dev/full")) GTEST_SKIP() << "no /dev/full";
    Capture console;
    full.put("some text");
    full.end_record();
    EXPECT_THROW(full.flush(&console.out), StopRun);
    EXPECT_EQ(console.text(), " Cannot write output file /dev/full\r\n");
}

TEST(RecordsOverflow, FilesWithTooWideNumbersAreNotedOnceInOrderOfTheirFirst) {
    OverflowLog log;
    Capture a, b, c;
    a.out.set_overflow_log(&log);
    b.out.set_overflow_log(&log);
    c.out.set_overflow_log(&log);
    b.out.attach(b.f, "second");  // the log is kept across attach
    a.out.attach(a.f, "first");
    const Layout lay("(i3,f6.2)");
    fmt_write(c.out, lay, {12, 3.5f});      // fits: not noted
    fmt_write(b.out, lay, {1, 12345.0f});   // real field overflows
    fmt_write(a.out, lay, {1234, 1.0f});    // integer field overflows
    fmt_write(b.out, lay, {9999, 99999.0f});
    EXPECT_EQ(b.text(), "  1******\r\n*********\r\n");
    EXPECT_EQ(a.text(), "***  1.00\r\n");
    EXPECT_EQ(log.names(), (std::vector<std::string>{"second", "first"}));
    // Free-form writes never overflow.
    list_write(c.out, {123456789, 1.0e30f});
    EXPECT_EQ(log.names().size(), 2u);
}

TEST(RecordsFile, ByteOrderMarkIsSkipped) {
    InFile in;
    in.open_text("\xEF\xBB\xBF# comment\n12 3.5\n", "bom.inn");
    std::string line;
    ASSERT_TRUE(in.read_fixed(line, -1));
    EXPECT_EQ(line, "# comment");
    int i = 0;
    float f = 0;
    ASSERT_TRUE(in.list_read({i, f}));
    EXPECT_EQ(i, 12);
    EXPECT_EQ(f, 3.5f);
    // Only at the very start.
    InFile mid;
    mid.open_text("1\n\xEF\xBB\xBF" "2\n", "mid.inn");
    int x = 0, y = 0;
    ASSERT_TRUE(mid.list_read({x}));
    EXPECT_THROW(mid.list_read({y}), RecordError);
}

TEST(RecordsOutput, CutBackDropsBufferedAndWrittenBytes) {
    const std::string name = ::testing::TempDir() + "tacsim-cutback-" + std::to_string(::getpid()) + ".txt";
    {
        OutFile out;
        ASSERT_TRUE(out.open(name));
        out.put("header\r\n");
        const long long mark = out.position();
        out.put("half a rec");
        EXPECT_TRUE(out.cut_back(mark));  // still in the buffer
        out.put("set 1\r\n");
        out.flush();
        const long long mark2 = out.position();
        EXPECT_EQ(mark2, 15);
        out.put(std::string(100000, 'x'));  // drained to the file in part
        EXPECT_TRUE(out.cut_back(mark2));
        out.put("end\r\n");
        out.close();
    }
    std::FILE* f = std::fopen(name.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buf[64] = {};
    const std::size_t n = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    std::remove(name.c_str());
    EXPECT_EQ(std::string(buf, n), "header\r\nset 1\r\nend\r\n");
    // An attached stream loses only what is still buffered.
    Capture c;
    c.out.put("kept\r\n");
    c.out.flush();
    c.out.put("dropped");
    EXPECT_TRUE(c.out.cut_back(6));
    EXPECT_FALSE(c.out.cut_back(0));
    EXPECT_EQ(c.text(), "kept\r\n");
}
