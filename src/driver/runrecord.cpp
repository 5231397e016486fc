#include "driver/runrecord.hpp"


#include <array>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "driver/version.hpp"
#include "platform/platform.hpp"

namespace tacsim {

std::string utc_now() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    platform::utc_time(t, tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

std::string sha256_file(const std::string& path) {
    std::array<unsigned char, 32> md{};
    if (!platform::sha256_file(path, md)) return "";
    static const char* const hex = "0123456789abcdef";
    std::string out;
    for (unsigned char c : md) {
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 15]);
    }
    return out;
}

std::vector<std::string> input_files(const State& s) {
    std::vector<std::string> names = {s.biofile, s.optfile};
    bool srspec = false;
    for (int r = 1; r <= s.nreg && r <= maxreg; ++r) srspec = srspec || s.srflag(r) == 1;
    if (srspec) names.push_back("srspec");
    static const char* const nin[] = {"nin.inn", "nin.num", "nin.obs"};
    if (s.opt0 >= 2 && s.opt0 <= 4) names.push_back(nin[s.opt0 - 2]);
    if (s.minbyr < 0) {
        std::string c = s.canumfile;
        while (!c.empty() && c.back() == ' ') c.pop_back();
        names.push_back(c);
    }
    return names;
}

std::string runrecord_json(const State& s, const RunRecord& r) {
    using nlohmann::ordered_json;
    ordered_json j;
    j["program"] = {{"name", "tacsim"}, {"version", build_version()}, {"commit", build_commit()}};
    j["command_line"] = r.args;
    j["started"] = r.started;
    j["ended"] = r.ended;
    j["seed"] = r.seed;
    if (r.philox_seed) {
        j["seed"] = *r.philox_seed;
        j["generator"] = "philox4x32-10";
    }
    j["iterations_per_set"] = s.nsim;
    ordered_json inputs = ordered_json::array();
    for (const std::string& name : input_files(s)) {
        const std::string path = in_path(s, name);
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        if (ec) continue;  // not there: the run stopped saying so
        inputs.push_back({{"file", name}, {"size", size}, {"sha256", sha256_file(path)}});
    }
    j["inputs"] = inputs;
    // What the report needs beyond the tables: the stock (its input
    // folder's name), the rule, what the rule's value is and Blim.
    std::error_code ec;
    const auto folder = std::filesystem::absolute(s.indir.empty() ? "." : s.indir, ec).lexically_normal();
    const auto stock = (folder.has_filename() ? folder : folder.parent_path()).filename().string();
    j["stock"] = stock;
    j["rule"] = s.nrule;
    j["vtype"] = s.vtype;
    j["blim"] = s.blim;
    j["risk_limit"] = r.risk_limit;
    if (!r.biomass_unit.empty()) j["biomass_unit"] = r.biomass_unit;
    if (!r.number_unit.empty()) j["number_unit"] = r.number_unit;
    // How the risk to Blim is counted, for every risk of the tables.
    static const char* const methods[] = {"share of iterations with SSB below Blim",
                                          "Blim normally uncertain (CV blim_sigma)",
                                          "Blim lognormally uncertain (log-SD blim_sigma)"};
    j["risk_method"] = s.riskmeth;
    j["risk_method_name"] = (s.riskmeth >= 0 && s.riskmeth <= 2) ? methods[s.riskmeth] : "unknown";
    j["blim_sigma"] = s.blimsig;
    j["option_sets"] = r.option_sets;
    j["sets_finished"] = r.seconds.size();
    j["seconds_per_set"] = r.seconds;
    // How the sweep ran: threads per process, and how many sets started
    // from a guess of what the previous set leaves, and how many of those
    // had to run again because the guess was wrong.
    j["threads"] = s.jobs;
    j["sets_started_from_a_guess"] = s.guessed_sets;
    j["sets_rerun"] = s.rerun_sets;
    j["files_written"] = r.written;
    j["exit_status"] = r.exit_status;
    if (r.stop_message.empty()) {
        j["stop_message"] = nullptr;
    } else {
        j["stop_message"] = r.stop_message;
    }
    return j.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace tacsim
