#include "driver/checkpoint.hpp"

#include <cstdio>
#include <sstream>

#include "driver/cli.hpp"
#include "driver/runrecord.hpp"

namespace tacsim {

namespace {

constexpr const char* kMagic = "tacsim checkpoint 1";

std::string hex(std::string_view b) {
    static const char* d = "0123456789abcdef";
    std::string out;
    out.reserve(b.size() * 2);
    for (unsigned char c : b) {
        out.push_back(d[c >> 4]);
        out.push_back(d[c & 15]);
    }
    return out;
}

bool unhex(std::string_view h, std::string& out) {
    if (h.size() % 2 != 0) return false;
    out.clear();
    auto v = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < h.size(); i += 2) {
        const int a = v(h[i]), b = v(h[i + 1]);
        if (a < 0 || b < 0) return false;
        out.push_back(static_cast<char>(a * 16 + b));
    }
    return true;
}

}  // namespace

std::string checkpoint_settings(const RunOptions& opts) {
    std::string s = opts.csv ? "--csv" : "";
    if (opts.iterations) s += " --iterations";
    if (opts.report) s += " --report";
    if (opts.nsim) s += " --nsim " + std::to_string(*opts.nsim);
    return s.empty() ? "(none)" : s;
}

std::string program_hash() { return sha256_file("/proc/self/exe"); }

std::vector<std::pair<std::string, std::string>> input_hashes(const State& s) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const std::string& name : input_files(s)) out.emplace_back(name, sha256_file(in_path(s, name)));
    return out;
}

// One field per line, "key value"; names run to the end of their line.
std::string checkpoint_text(const Checkpoint& c) {
    std::ostringstream o;
    o << kMagic << '\n';
    o << "program " << c.program << '\n';
    o << "version " << c.version << '\n';
    o << "settings " << c.settings << '\n';
    for (const auto& [name, sha] : c.inputs) o << "input " << sha << ' ' << name << '\n';
    o << "sets " << c.sets << '\n';
    o << "guessed " << c.guessed << '\n';
    o << "reruns " << c.reruns << '\n';
    char buf[40];
    for (double t : c.seconds) {
        std::snprintf(buf, sizeof buf, "%.17g", t);
        o << "seconds " << buf << '\n';
    }
    for (const auto& n : c.overflowed) o << "overflowed " << n << '\n';
    for (const auto& [name, len] : c.files) o << "file " << len << ' ' << name << '\n';
    o << "carried " << hex(c.carried) << '\n';
    o << "end\n";
    return o.str();
}

bool parse_checkpoint(const std::string& text, Checkpoint& c) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kMagic) return false;
    c = Checkpoint{};
    bool ended = false;
    while (std::getline(in, line)) {
        const auto sp = line.find(' ');
        const std::string key = line.substr(0, sp);
        const std::string rest = sp == std::string::npos ? "" : line.substr(sp + 1);
        try {
            if (key == "program") c.program = rest;
            else if (key == "version") c.version = rest;
            else if (key == "settings") c.settings = rest;
            else if (key == "input" || key == "file") {
                const auto at = rest.find(' ');
                if (at == std::string::npos) return false;
                if (key == "input") c.inputs.emplace_back(rest.substr(at + 1), rest.substr(0, at));
                else c.files.emplace_back(rest.substr(at + 1), std::stoll(rest.substr(0, at)));
            } else if (key == "sets") c.sets = std::stoll(rest);
            else if (key == "guessed") c.guessed = std::stoll(rest);
            else if (key == "reruns") c.reruns = std::stoll(rest);
            else if (key == "seconds") c.seconds.push_back(std::stod(rest));
            else if (key == "overflowed") c.overflowed.push_back(rest);
            else if (key == "carried") {
                if (!unhex(rest, c.carried)) return false;
            } else if (key == "end") ended = true;
            else return false;
        } catch (const std::exception&) {
            return false;
        }
    }
    return ended && c.sets >= 0;
}

std::string checkpoint_mismatch(const Checkpoint& saved, const Checkpoint& now) {
    if (saved.program != now.program) {
        return "it was made by another build of the program (" + saved.version + "; this is " + now.version + ")";
    }
    if (saved.settings != now.settings) {
        return "its run wrote other result files (options " + saved.settings + "; now " + now.settings + ")";
    }
    for (const auto& [name, sha] : saved.inputs) {
        bool found = false;
        for (const auto& [n, h] : now.inputs) {
            if (n != name) continue;
            found = true;
            if (h != sha) return "the input file " + name + " has changed since";
        }
        if (!found) return "its run read the input file " + name + ", which this run does not read";
    }
    for (const auto& [n, h] : now.inputs) {
        bool found = false;
        for (const auto& p : saved.inputs) found = found || p.first == n;
        if (!found) return "this run reads the input file " + n + ", which its run did not read";
    }
    return "";
}

}  // namespace tacsim
