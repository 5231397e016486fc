// The layers of src/: every file includes headers of its own layer or of a
// layer below, in the order written at the top of docs/design.md. A new
// folder must be given its place there; an include against the order (and so
// any circle) fails here with the file and line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// The order line of docs/design.md: "`platform < records < ... < driver`".
std::map<std::string, int> layer_order(const fs::path& design) {
    std::ifstream in(design);
    std::string line;
    std::map<std::string, int> rank;
    while (std::getline(in, line)) {
        if (line.rfind("    platform <", 0) != 0) continue;
        std::istringstream words(line);
        std::string w;
        while (words >> w)
            if (w != "<") rank.emplace(w, static_cast<int>(rank.size()));
        break;
    }
    return rank;
}

// Each include against the order, as "file:line: includes x/y.hpp".
std::string includes_against(const fs::path& src, const std::map<std::string, int>& rank) {
    const std::regex include(R"(^\s*#\s*include\s*"([A-Za-z0-9_]+)/[^"]*")");
    std::string faults;
    for (const auto& e : fs::recursive_directory_iterator(src)) {
        const auto ext = e.path().extension();
        if (!e.is_regular_file() || (ext != ".cpp" && ext != ".hpp")) continue;
        const auto rel = fs::relative(e.path(), src);
        // Files beside main.cpp sit above every layer.
        const std::string own = rel.has_parent_path() ? rel.begin()->string() : "";
        const auto own_rank = own.empty() ? static_cast<int>(rank.size()) : rank.count(own) ? rank.at(own) : -1;
        if (own_rank < 0) {
            faults += rel.string() + ": its folder has no place in the order\n";
            continue;
        }
        std::ifstream in(e.path());
        std::string line;
        std::smatch m;
        for (int n = 1; std::getline(in, line); ++n) {
            if (!std::regex_search(line, m, include)) continue;
            const auto it = rank.find(m[1].str());
            if (it == rank.end() || it->second > own_rank)
                faults += rel.string() + ":" + std::to_string(n) + ": " + line + "\n";
        }
    }
    return faults;
}

TEST(Layers, EveryIncludeGoesDownwards) {
    const fs::path root = TACSIM_SOURCE_DIR;
    const auto rank = layer_order(root / "docs/design.md");
    ASSERT_GE(rank.size(), 10u) << "no order of the layers at the top of docs/design.md";
    EXPECT_EQ(includes_against(root / "src", rank), "");
}

}  // namespace
