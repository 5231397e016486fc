// report.html from a results folder: what the page holds, what it needs and
// what it says when a table is missing or broken.
#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>
#include <zlib.h>

#include <cstring>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "model/state.hpp"
#include "report/report.hpp"
#include "results/tables.hpp"

namespace tacsim::report {
namespace {

namespace fs = std::filesystem;

// base64, then zlib's inflate: how the page reads a set's series.
std::string inflate(const std::string& b64) {
    std::string bytes;
    unsigned v = 0;
    int bits = 0;
    for (char c : b64) {
        const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        const char* p = std::strchr(digits, c);
        if (c == '=' || p == nullptr) continue;
        v = (v << 6) | unsigned(p - digits);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((v >> bits) & 0xFF);
        }
    }
    std::string out(1 << 20, '\0');
    uLongf size = out.size();
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                   bytes.size()) != Z_OK) {
        return "";
    }
    out.resize(size);
    return out;
}

// A results folder with the tables of three option sets of rule 1 that
// sweep Target over two years.
class ReportFolder : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tacsim-report-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        write("sets.csv",
              "set,Btrig1,Btrig2,Target,Alfa1,Alfa2,Filter,rule\n"
              "1,100,300,0.2,1,0,1,1\n2,100,300,0.3,1,0,1,1\n3,100,300,0.4,1,0,1,1\n");
        std::ostringstream y, s;
        y << "set,year,model_year,quantity,mean,p05,p10,p25,p50,p75,p90,p95\n";
        s << "set,first_year,last_year,statistic,value\n";
        for (int set = 1; set <= 3; ++set) {
            for (int year = 2020; year <= 2021; ++year) {
                for (const char* q : {"ssb", "f", "catch", "tac", "recruitment"}) {
                    y << set << ',' << year << ',' << year - 2020 << ',' << q << ",10,5,6,8," << 10 * set
                      << ",12,14,15\n";
                }
                y << set << ',' << year << ',' << year - 2020 << ",p_below_blim,0.25,,,,,,,\n";
            }
            for (const auto& [a, b] : {std::pair{2021, 2021}, std::pair{2020, 2021}}) {
                for (const char* st : {"C50", "IAV", "risk1", "risk2", "risk3"}) {
                    s << set << ',' << a << ',' << b << ',' << st << ',' << set * 1.5 << '\n';
                }
            }
        }
        write("yearly.csv", y.str());
        write("summary.csv", s.str());
    }
    void TearDown() override { fs::remove_all(dir); }

    void write(const std::string& name, const std::string& text) { std::ofstream(dir / name, std::ios::binary) << text; }
    std::string read(const std::string& name) {
        std::ifstream in(dir / name, std::ios::binary);
        std::ostringstream t;
        t << in.rdbuf();
        return t.str();
    }
    // The data objects the page's script reads: the whole run's, and each
    // set's series in an element of its own (as "perset").
    nlohmann::json page_data() {
        const std::string page = read(report_file);
        const auto element = [&](const std::string& type, const std::string& id) -> std::string {
            const std::string open = "<script type=\"" + type + "\" id=\"" + id + "\">";
            const auto a = page.find(open);
            const auto b = page.find("</script>", a);
            if (a == std::string::npos || b == std::string::npos) return "";
            return page.substr(a + open.size(), b - a - open.size());
        };
        nlohmann::json d = nlohmann::json::parse(element("application/json", "tacsim-data"));
        d["perset"] = nlohmann::json::array();
        for (int i = 0;; ++i) {
            const std::string packed = element("application/octet-stream", "tacsim-set-" + std::to_string(i));
            if (packed.empty()) break;
            d["perset"].push_back(nlohmann::json::parse(inflate(packed)));
        }
        return d;
    }
    std::string error_of() {
        try {
            write_report(dir, "tacsim test");
        } catch (const ReportError& e) {
            return e.what();
        }
        return "";
    }

    fs::path dir;
};

TEST_F(ReportFolder, PageIsSelfContainedAndHoldsEverySet) {
    RunContext context;
    context.blim = 50.0;
    context.vtype = 1;
    const ReportResult r = write_report(dir, "tacsim test", context);
    EXPECT_EQ(r.file, dir / "report.html");
    const std::string page = read(report_file);
    EXPECT_EQ(page.find("<script src"), std::string::npos);
    EXPECT_EQ(page.find("<link"), std::string::npos);
    EXPECT_NE(page.find("vegaEmbed"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "report.html.part"));

    const auto d = page_data();
    ASSERT_TRUE(d.is_object());
    EXPECT_EQ(d["sets"], nlohmann::json({1, 2, 3}));
    EXPECT_EQ(d["swept"], nlohmann::json({"Target"}));
    EXPECT_EQ(d["risks"], nlohmann::json({"risk1", "risk2", "risk3"}));
    EXPECT_EQ(d["windows"].size(), 2u);
    EXPECT_EQ(d["defaultWindow"], 1);  // all years: the run has no tuning
    // The table's groups with their units, and one number of decimals per
    // column (1.5, 3.0, 4.5).
    EXPECT_EQ(d["statGroups"], nlohmann::json({"Catch (input biomass unit)", "TAC change (%)", "Risk (%)", "Risk (%)",
                                               "Risk (%)"}));
    EXPECT_EQ(d["statDecimals"][0][0], 1);
    ASSERT_EQ(d["perset"].size(), 3u);
    const auto& p3 = d["perset"][2];
    EXPECT_EQ(p3["q"]["ssb"][2], nlohmann::json({30, 30}));  // medians of set 3
    EXPECT_EQ(p3["plim"], nlohmann::json({0.25, 0.25}));     // in % as in the table, not again times 100
    EXPECT_EQ(p3["refs"]["ssb"][0]["label"], "Blim");
    EXPECT_EQ(p3["refs"]["f"][0]["value"], 0.4);
    // Sets that share their rule parameters share one shape.
    EXPECT_EQ(d["shapes"].size(), 3u);
    EXPECT_EQ(d["shapes"][0]["triggers"].size(), 2u);
    for (const char* chart : {"ssb", "f", "catch", "recruitment", "plim", "shape", "tradeoff", "iav"}) {
        EXPECT_TRUE(d["specs"].contains(chart)) << chart;
    }
    // The shape table: 101 grid points from 0 to 600 and Btrig1 (100, off
    // the grid; Btrig2 is on it) per set.
    const std::string shape = read(shape_file);
    EXPECT_EQ(shape.substr(0, shape.find('\n')), "set,series,basis,value");
    EXPECT_EQ(std::count(shape.begin(), shape.end(), '\n'), 1 + 3 * 102);
    // Optional tables that are missing are named.
    ASSERT_EQ(r.notes.size(), 3u);
    EXPECT_NE(r.notes[0].find("sample_iterations.csv"), std::string::npos);
}

TEST_F(ReportFolder, SingleIterationsAndPerRecruitCurvesWhenPresent) {
    write(kSamplesCsv, "set,iteration,year,ssb,tsb,f,catch,tac,recruitment\n"
                       "2,1,2020,7,1,0.1,3,3,9\n2,1,2021,8,1,0.1,3,3,9\n2,6,2021,99,1,1,1,1,1\n");
    write("perrecruit.csv", "regime,f_factor,yield,ssb,yield_per_recruit,ssb_per_recruit\n"
                            "1,0,0,10,0,5\n1,0.5,4,6,2,3\n");
    write("refpoints.csv", "regime,refpoint,f,yield,ssb,yield_per_recruit,ssb_per_recruit\n"
                           "1,Fmax,0.5,4,6,2,3\n1,Fcrash,,,,,\n");
    write("run.json", R"({"version": "9.9", "blim": 40, "vtype": 4})");
    const ReportResult r = write_report(dir, "tacsim test");
    EXPECT_TRUE(r.notes.empty());
    const auto d = page_data();
    EXPECT_EQ(d["runs"][0]["iterations"], nlohmann::json({1}));  // only the first five iterations are drawn
    EXPECT_EQ(d["perset"][1]["it"]["ssb"][0], nlohmann::json({7, 8}));
    EXPECT_FALSE(d["perset"][0]["it"].contains("ssb"));  // set 1 has no single iterations
    EXPECT_EQ(d["perset"][0]["refs"]["ssb"][0]["value"], 40);
    EXPECT_TRUE(d["perset"][0]["refs"]["f"].empty());  // the rule's value is a TAC: no F target
    ASSERT_EQ(d["staticCharts"], nlohmann::json({"ypr", "spr"}));
    const auto& pr = d["specs"]["ypr"]["datasets"];
    EXPECT_EQ(pr["curve"][1]["value"], 2);      // per recruit, not the equilibrium yield
    EXPECT_EQ(pr["points"].size(), 1u);         // Fcrash without a value is not marked
    EXPECT_NE(read(report_file).find("tacsim 9.9"), std::string::npos);
}

// The header names the generator and seed of a run given --seed, and says
// nothing of the legacy stream.
TEST_F(ReportFolder, HeaderNamesTheSeededGenerator) {
    const struct {
        const char* record;
        const char* says;  // empty: no line
    } cases[] = {
        {R"({"version": "9.9", "seed": 15349668})", ""},
        {R"({"version": "9.9", "seed": 7, "generator": "philox4x32-10"})",
         "<dt>Random numbers</dt><dd>philox4x32-10, seed 7</dd>"},
    };
    for (const auto& c : cases) {
        write("run.json", c.record);
        write_report(dir, "tacsim test");
        const std::string page = read(report_file);
        if (*c.says == 0) {
            EXPECT_EQ(page.find("Random numbers"), std::string::npos);
        } else {
            EXPECT_NE(page.find(c.says), std::string::npos);
        }
    }
}

// With mcerror.csv beside the summary, its standard errors are statistics
// "<name>_se" of the summary's windows (a window the summary lacks is left
// out) and the trade-off chart gets its whiskers; without it, none.
TEST_F(ReportFolder, StandardErrorsGiveWhiskers) {
    const struct {
        const char* mcerror;  // nullptr: no file
        std::size_t layers;
    } cases[] = {
        {nullptr, 5},
        {"set,window,first_year,last_year,statistic,estimate,se,method\n"
         "2,all,2020,2021,C50,3,0.25,order statistics\n2,all,2020,2021,risk3,3,0.5,bootstrap over iterations\n"
         "2,x,2000,2001,C50,3,9,order statistics\n",
         7},
    };
    for (const auto& c : cases) {
        fs::remove(dir / "mcerror.csv");
        if (c.mcerror != nullptr) write("mcerror.csv", c.mcerror);
        write_report(dir, "tacsim test");
        const auto d = page_data();
        const auto& names = d["statNames"];
        const auto at = std::find(names.begin(), names.end(), "C50_se");
        ASSERT_EQ(at != names.end(), c.mcerror != nullptr);
        ASSERT_EQ(d["specs"]["tradeoff"]["layer"].size(), c.layers);
        if (c.mcerror == nullptr) continue;
        const auto k = static_cast<std::size_t>(at - names.begin());
        ASSERT_EQ(d["windows"].size(), 2u);  // not the window of 2000-2001
        EXPECT_EQ(d["stats"][1][1][k], 0.25);  // years 2020-2021, set 2
        EXPECT_TRUE(d["stats"][1][0][k].is_null());
        const std::string whisker = d["specs"]["tradeoff"]["layer"][5].dump();
        EXPECT_NE(whisker.find("datum.risk - 1.96 * datum['{risk}_se']"), std::string::npos) << whisker;
    }
}

TEST_F(ReportFolder, TuningSetsTheWindowAndTheAnswerAtTheTop) {
    // Tuned over the summary window (2021-2021, the first in summary.csv):
    // the answer 0.30 with its bracket 0.35, so two decimals.
    write("tune.csv", "combination,Target,round,meets,answer,tuned,statistic,limit,summary_risk3\n"
                      "1,0.2,1,1,0,Target,summary_risk3,5,1\n1,0.4,1,0,0,Target,summary_risk3,5,9\n"
                      "1,0.3,2,1,1,Target,summary_risk3,5,4\n1,0.35,3,0,0,Target,summary_risk3,5,6\n");
    write_report(dir, "tacsim test");
    const auto d = page_data();
    EXPECT_EQ(d["defaultWindow"], 0);
    EXPECT_EQ(d["optionDecimals"][2], 1);  // Target 0.2, 0.3, 0.4
    const std::string page = read(report_file);
    const auto answer = page.substr(page.find("id=\"answer\""), page.find("</section>") - page.find("id=\"answer\""));
    EXPECT_NE(answer.find("<b>Tuned Target</b>"), std::string::npos) << answer;
    EXPECT_NE(answer.find(": 0.30, years 2021-2021."), std::string::npos) << answer;
    // People's names on the tuning chart, and no legend for its one combination.
    const auto& tune = d["specs"]["tune"];
    EXPECT_NE(tune.dump().find("largest yearly P(SSB < Blim), years 2021-2021 (%)"), std::string::npos);
    EXPECT_EQ(tune.dump().find("summary_risk3"), std::string::npos);
    EXPECT_FALSE(tune["layer"][0]["encoding"]["color"].contains("legend"));
    EXPECT_EQ(page.find("bundled example"), std::string::npos);
}

TEST_F(ReportFolder, FmaxAtTheEndOfTheEquilibriumCurveIsNamedSo) {
    struct Case {
        const char* curve;      // rows of perrecruit.csv after the header
        const char* fcrash;     // Fcrash's F-factor
        bool named;             // Fmax (at 0.5) is named the end of the curve
        bool rises;             // and yield per recruit said to rise beyond it
    };
    const Case cases[] = {
        {"1,0,0,10,0,5\n1,0.5,4,6,2,3\n1,1,2,3,1,1\n", "", false, false},    // a maximum inside the curve
        {"1,0,0,10,0,5\n1,0.5,4,6,2,3\n1,1,,,2.5,1\n", "", true, true},      // the curve ends at Fmax
        {"1,0,0,10,0,5\n1,0.5,4,6,2,3\n1,1,2,3,2.5,1\n", "0.505", true, true},  // Fcrash within a grid step
        {"1,0,0,10,0,5\n1,0.5,4,6,2,3\n1,1,,,1.5,1\n", "", true, false},     // at the end, but falling
        {"1,0,0,10,0,5\n1,0.5,4,6,2,3\n1,1,2,3,2.5,1\n", "0.9", false, false},
    };
    for (const auto& c : cases) {
        write("perrecruit.csv", std::string("regime,f_factor,yield,ssb,yield_per_recruit,ssb_per_recruit\n") + c.curve);
        write("refpoints.csv", std::string("regime,refpoint,f,yield,ssb,yield_per_recruit,ssb_per_recruit\n"
                                           "1,Fmax,0.5,4,6,2,3\n1,Fcrash,") + c.fcrash + ",,,1,1\n");
        write_report(dir, "tacsim test");
        const auto d = page_data();
        const std::string label = d["specs"]["ypr"]["datasets"]["points"][0]["label"];
        EXPECT_EQ(label == "Fmax = Fcrash (end of the curve)", c.named) << c.curve << " Fcrash " << c.fcrash;
        const std::string page = read(report_file);
        EXPECT_EQ(page.find("Fcrash: the end of the equilibrium curve") != std::string::npos, c.named) << c.curve;
        EXPECT_EQ(page.find("yield per recruit still rises there") != std::string::npos, c.rises) << c.curve;
    }
}

// The searches of tune --replicates are lines of their own, named by seed;
// a tune.csv without the replicate column is one line per combination.
TEST_F(ReportFolder, TuningReplicatesAreLinesOfTheirOwn) {
    const struct {
        const char* tune;
        std::set<std::string> labels;
        int answers;
    } cases[] = {
        {"combination,Target,round,meets,answer,tuned,statistic,limit,all_risk3\n"
         "1,0.2,1,1,0,Target,all_risk3,5,1\n1,0.4,1,1,1,Target,all_risk3,5,4\n",
         {"combination 1"}, 1},
        {"combination,Target,round,meets,answer,tuned,statistic,limit,all_risk3,replicate,seed\n"
         "1,0.2,1,1,0,Target,all_risk3,5,1,0,2\n1,0.4,1,1,1,Target,all_risk3,5,4,0,2\n"
         "1,0.2,1,1,0,Target,all_risk3,5,1,1,3\n1,0.4,1,0,0,Target,all_risk3,5,6,1,3\n"
         "1,0.3,2,1,1,Target,all_risk3,5,3,1,3\n",
         {"combination 1", "combination 1, seed 3"}, 2},
    };
    for (const auto& c : cases) {
        write("tune.csv", c.tune);
        write_report(dir, "tacsim test");
        const auto d = page_data();
        std::set<std::string> labels;
        int answers = 0;
        for (const auto& r : d["specs"]["tune"]["datasets"]["tune"]) {
            labels.insert(r["label"].get<std::string>());
            answers += r["answer"].get<bool>() ? 1 : 0;
        }
        EXPECT_EQ(labels, c.labels);
        EXPECT_EQ(answers, c.answers);
    }
}

TEST_F(ReportFolder, SingleIterationsFromTheFullSeriesWithoutTheSampleTable) {
    const std::string text =
        "set,iteration,year,ssb,tsb,f,catch,tac,recruitment,regime\n"
        "3,1,2020,5,1,0.1,3,3,9,1\n3,1,2021,6,1,0.1,3,3,9,1\n3,7,2020,99,1,1,1,1,1,1\n3,12,2021,98,1,1,1,1,1,1\n";
    gzFile gz = gzopen((dir / "iterations.csv.gz").c_str(), "wb");
    ASSERT_NE(gz, nullptr);
    gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
    gzclose(gz);
    write_report(dir, "tacsim test");
    const auto d = page_data();
    EXPECT_EQ(d["runs"][0]["iterations"], nlohmann::json({1}));
    EXPECT_EQ(d["perset"][2]["it"]["ssb"][0], nlohmann::json({5, 6}));
}

TEST_F(ReportFolder, MissingOrBrokenTablesStopWithTheirName) {
    write("summary.csv", "set,first_year,last_year,statistic,value\n1,2021,2021,C50,x\n");
    EXPECT_EQ(error_of(), "summary.csv, line 2: \"x\" in column value is not a number");
    write("summary.csv", "set,first_year,last_year,statistic,value\n7,2021,2021,C50,1\n");
    EXPECT_EQ(error_of(), "summary.csv, line 2: set 7 is not in sets.csv");
    fs::remove(dir / "yearly.csv");
    write("summary.csv", "set,first_year,last_year,statistic,value\n");
    EXPECT_NE(error_of().find("yearly.csv"), std::string::npos);
    fs::remove(dir / "sets.csv");
    EXPECT_NE(error_of().find("sets.csv"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / report_file));
    EXPECT_EQ(error_of().substr(0, 12), "Cannot read ");
    fs::remove_all(dir);
    EXPECT_NE(error_of().find("No results folder"), std::string::npos);
}

// Two runs on one page, into a folder of its own: the second of other
// years, its sets after the first's; the runs' folders receive nothing; the
// header says when the stock inputs differ.
TEST_F(ReportFolder, SeveralRunsOnOnePage) {
    const fs::path other = dir / "other", out = dir / "page";
    fs::create_directories(other);
    for (const char* name : {"sets.csv", "yearly.csv", "summary.csv"}) {
        std::string text = read(name);
        for (auto at = text.find(",202"); at != std::string::npos; at = text.find(",202", at + 1)) text[at + 3] = '3';
        std::ofstream(other / name, std::ios::binary) << text;
    }
    const auto record = [](const std::string& bio) {
        return R"({"stock": "cod", "inputs": [{"file": "bio.inn", "sha256": ")" + bio +
               R"("}, {"file": "opt.inn", "sha256": "x"}]})";
    };
    write("run.json", record("aa"));
    std::ofstream(other / "run.json", std::ios::binary) << record("bb");
    const auto files = [](const fs::path& d) {
        std::set<std::string> n;
        for (const auto& e : fs::directory_iterator(d)) n.insert(e.path().filename().string());
        return n;
    };
    const auto before = files(dir), before_other = files(other);
    const ReportResult r = write_comparison({{dir, ""}, {other, "rule 3"}}, out, "tacsim test");
    EXPECT_EQ(r.file, out / report_file);
    EXPECT_EQ(files(other), before_other);
    // What a page lacks is told under the run's name, the folder's where it has no label.
    ASSERT_FALSE(r.notes.empty());
    EXPECT_EQ(r.notes.front().rfind(dir.filename().string() + ": ", 0), 0u) << r.notes.front();
    auto now = files(dir);
    now.erase("page");
    EXPECT_EQ(now, before);

    const std::string page = read("page/" + std::string(report_file));
    EXPECT_NE(page.find("The runs are of 2 different stocks"), std::string::npos);
    const std::string folder = dir.filename().string();
    const auto d = [&] {
        const std::string open = "id=\"tacsim-data\">";
        const auto a = page.find(open) + open.size();
        return nlohmann::json::parse(page.substr(a, page.find("</script>", a) - a));
    }();
    EXPECT_EQ(d["sets"], nlohmann::json({1, 2, 3, 1, 2, 3}));
    EXPECT_EQ(d["setRun"], nlohmann::json({0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(d["runs"][0]["label"], folder);
    EXPECT_EQ(d["runs"][1]["label"], "rule 3");
    EXPECT_EQ(d["runs"][1]["years"], nlohmann::json({2030, 2031}));
    EXPECT_EQ(d["windows"][0]["label"], "years 2021-2021 / years 2031-2031");
    EXPECT_EQ(d["colourOptions"][0], "run");
    EXPECT_EQ(d["specs"]["tradeoff"]["layer"][0]["encoding"]["shape"]["field"], "run");

    // Only opt.inn differs: one stock.
    std::ofstream(other / "run.json", std::ios::binary) << record("aa");
    write_comparison({{dir, ""}, {other, "rule 3"}}, out, "tacsim test");
    EXPECT_EQ(read("page/" + std::string(report_file)).find("different stocks"), std::string::npos);
    // A folder without tables is named.
    fs::create_directories(dir / "empty");
    try {
        write_comparison({{dir, ""}, {dir / "empty", ""}}, out, "tacsim test");
        ADD_FAILURE() << "no error";
    } catch (const ReportError& e) {
        EXPECT_EQ(std::string(e.what()).rfind((dir / "empty").string() + " holds no result tables", 0), 0u) << e.what();
    }
}

TEST(ReportSamples, FirstFiveIterationsOfEveryYear) {
    auto s = make_state();
    s->year0 = 2000;
    for (int it = 1; it <= 6; ++it) {
        for (int y = 0; y <= maxyear; ++y) s->ssbres(y, it) = static_cast<float>(100 * it + y);
    }
    std::string b;
    samplerows(*s, 3, b);
    EXPECT_EQ(std::count(b.begin(), b.end(), '\n'), sample_count * (maxyear + 1));
    EXPECT_EQ(b.substr(0, b.find('\n') + 1), "3,1,2000,100,0,0,0,0,0\n");
    EXPECT_NE(b.find("\n3,5,2040,540,"), std::string::npos);
    EXPECT_EQ(b.find("\n3,6,"), std::string::npos);
}

}  // namespace
}  // namespace tacsim::report
