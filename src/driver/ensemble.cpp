#include "driver/ensemble.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "driver/checkpoint.hpp"
#include "driver/cli.hpp"
#include "driver/driver.hpp"
#include "driver/runlife.hpp"
#include "records/durable.hpp"
#include "io/input.hpp"
#include "management/rulebook.hpp"
#include "platform/platform.hpp"
#include "report/ensemble_page.hpp"
#include "results/pooled.hpp"
#include "results/tables.hpp"
#include "simulation/processes.hpp"
#include "simulation/simulation.hpp"

namespace fs = std::filesystem;

namespace tacsim {

namespace {

std::string whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string trim(const std::string& t) {
    const auto a = t.find_first_not_of(" \t");
    if (a == std::string::npos) return "";
    return t.substr(a, t.find_last_not_of(" \t") - a + 1);
}

std::string lower(std::string t) {
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
}

// The fields of one CSV line: commas separate, double quotes enclose a field
// that holds commas (a quote inside doubled). False on an unclosed quote.
bool csv_fields(const std::string& line, std::vector<std::string>& out) {
    out.assign(1, "");
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                out.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                out.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    for (auto& f : out) f = trim(f);
    return !quoted;
}

bool is_number(const std::string& t, float& v) {
    const char* end = t.data() + t.size();
    const auto r = std::from_chars(t.data(), end, v);
    return !t.empty() && r.ec == std::errc() && r.ptr == end;
}

std::string number(float v) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

std::string joined(const std::vector<float>& v) {
    std::string t;
    for (float x : v) t += (t.empty() ? "" : " ") + number(x);
    return t;
}

// What is wrong with the fields of a model's row (name,folder,weight,set),
// empty when nothing: then `m` holds the model, its weight not yet
// normalised. `base`: the ensemble file's folder; `models`: the rows before.
std::string model_fault(const std::vector<std::string>& f, const fs::path& base,
                        const std::vector<OperatingModel>& models, OperatingModel& m) {
    if (f.size() != 4) return std::to_string(f.size()) + " fields where name,folder,weight,set are 4";
    m.name = f[0];
    m.folder = f[1];
    if (m.name.empty()) return "the model has no name";
    // The name is the model's folder inside the results folder.
    if (m.name == "." || m.name == ".." || m.name.find_first_of("/\\:") != std::string::npos ||
        m.name.front() == '.') {
        return "the name '" + m.name + "' cannot name a folder (no /, \\ or :, and no leading dot)";
    }
    for (const auto& other : models) {
        if (other.name == m.name) return "a second model named '" + m.name + "'";
    }
    for (const char* own : {kEnsembleCsv, kByModelCsv, kRobustnessCsv, "report.html"}) {
        if (m.name == own) return "the name '" + m.name + "' is that of a file of the ensemble";
    }
    const std::string set = lower(f[3]);
    if (set != "reference" && set != "robustness") {
        return "the set is reference or robustness, not '" + f[3] + "'";
    }
    m.reference = set == "reference";
    if (m.reference) {
        float w = 0.0f;
        if (!is_number(f[2], w) || !std::isfinite(w) || !(w > 0.0f)) {
            return "the weight of reference model '" + m.name + "' must be a positive number, not '" + f[2] + "'";
        }
        m.weight = w;
    } else {
        // Robustness models carry no weight: a weight given is not used,
        // but it must be a number or left out.
        float w = 0.0f;
        if (!f[2].empty() && f[2] != "NA" && !is_number(f[2], w)) {
            return "the weight '" + f[2] + "' is not a number";
        }
    }
    if (m.folder.empty()) return "model '" + m.name + "' has no folder";
    std::error_code ec;
    const fs::path p = fs::path(m.folder).is_absolute() ? fs::path(m.folder) : base / m.folder;
    m.path = p.string();
    if (!fs::is_directory(p, ec)) return "the folder " + m.path + " of model '" + m.name + "' does not exist";
    return "";
}

}  // namespace

std::optional<std::vector<OperatingModel>> read_ensemble(const std::string& file, std::string& why) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        why = "Cannot read the ensemble file " + file + ": no such file";
        return std::nullopt;
    }
    std::string text = whole_file(file);
    // A spreadsheet may begin its CSV text with a byte order mark.
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    std::istringstream in(text);
    const fs::path base = fs::path(file).parent_path();
    std::vector<OperatingModel> models;
    std::string line;
    bool header = false;
    auto fault = [&](int no, const std::string& what) {
        why = file + " line " + std::to_string(no) + ": " + what;
        return std::nullopt;
    };
    std::vector<std::string> f;
    float total = 0.0f;
    for (int no = 1; std::getline(in, line); ++no) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (trim(line).empty()) continue;
        if (!csv_fields(line, f)) return fault(no, "a quote is not closed");
        if (!header) {
            std::vector<std::string> names;
            for (const auto& x : f) names.push_back(lower(x));
            if (names != std::vector<std::string>{"name", "folder", "weight", "set"}) {
                return fault(no, "the header must be name,folder,weight,set");
            }
            header = true;
            continue;
        }
        OperatingModel m;
        const std::string wrong = model_fault(f, base, models, m);
        if (!wrong.empty()) return fault(no, wrong);
        m.line = no;
        if (m.reference) total += m.weight;
        models.push_back(m);
    }
    if (!header) {
        why = file + ": no header name,folder,weight,set";
        return std::nullopt;
    }
    if (std::none_of(models.begin(), models.end(), [](const OperatingModel& m) { return m.reference; })) {
        why = file + ": no model of the reference set";
        return std::nullopt;
    }
    for (auto& m : models) {
        if (m.reference) m.weight = m.weight / total;
    }
    return models;
}

std::vector<float> sweep_values(const State& s, int k) {
    std::vector<float> v;
    const int n = optsteps(s, k);
    for (int i = 0; i <= n; ++i) v.push_back(s.parrange(k, 1) + s.parrange(k, 3) * static_cast<float>(i));
    return v;
}

std::string option_sets_differ(const State& first, const std::string& first_name, const State& s,
                               const std::string& name) {
    if (s.nrule != first.nrule) {
        return "model '" + name + "' has harvest rule " + std::to_string(s.nrule) + ", model '" + first_name +
               "' rule " + std::to_string(first.nrule);
    }
    const auto labels = option_names(s);
    for (int k = 1; k <= noptions; ++k) {
        const auto a = sweep_values(first, k), b = sweep_values(s, k);
        if (a == b) continue;
        const std::string option = labels[static_cast<std::size_t>(k - 1)].empty()
                                       ? "option " + std::to_string(k)
                                       : labels[static_cast<std::size_t>(k - 1)];
        return "option " + option + " takes " + joined(b) + " in model '" + name + "' but " + joined(a) +
               " in model '" + first_name + "'";
    }
    return "";
}

namespace {

// What the ensemble keeps of a model between reading its inputs and pooling.
struct ModelRun {
    OperatingModel model;
    std::unique_ptr<State> inputs;  // the inputs as read, for the checks
    std::map<long long, SetDigest> digests;
    bool finished = false;
};

bool complete(const std::map<long long, SetDigest>& digests, long long nsets) {
    for (long long k = 1; k <= nsets; ++k) {
        if (digests.count(k) == 0) return false;
    }
    return true;
}

std::string progress_folder(const std::string& out) { return (fs::path(out) / kEnsembleProgress).string(); }
std::string digest_file(const std::string& out, const std::string& name) {
    return (fs::path(progress_folder(out)) / (name + ".sets")).string();
}
constexpr const char* kFinished = "finished";
constexpr const char* kDescription = "ensemble";

// What identifies the ensemble for --resume: its models and their inputs.
std::string description(const std::vector<ModelRun>& runs) {
    std::string d;
    for (const auto& r : runs) {
        d += r.model.name + "," + r.model.path + "," + (r.model.reference ? "reference," : "robustness,") +
             number(r.model.weight) + "\n";
        for (const auto& [file, hash] : input_hashes(*r.inputs)) d += "  " + file + " " + hash + "\n";
    }
    return d;
}

// The digests a model's earlier attempt left: the whole ones.
std::map<long long, SetDigest> read_digests(const std::string& path, std::string& whole) {
    std::map<long long, SetDigest> out;
    const std::string bytes = whole_file(path);
    std::size_t at = 0;
    SetDigest d;
    while (read_digest(bytes, at, d)) out[d.set] = d;
    whole = bytes.substr(0, at);
    return out;
}

// Whether summary.csv has rows of window w of this set: the summary window
// only when its file is on and its years differ from the other two windows'.
bool in_summary(const SetDigest& d, std::size_t w) {
    if (std::isnan(d.stats[w][0])) return false;
    return static_cast<Window>(w) != Window::summary || !(d.first[w] == 1 && (d.last[w] == 5 || d.last[w] == maxyear));
}

void row_start(std::string& b, long long set, int first, int last, int k) {
    putint(b, set);
    b += ',';
    putint(b, first);
    b += ',';
    putint(b, last);
    b += ',';
    b += summaryname(k);
    b += ',';
}

struct Tables3 {
    std::string pooled, by_model, robust;
    Tables3() {
        headerline(pooled, kEnsembleColumns);
        headerline(by_model, kByModelColumns);
        headerline(robust, kRobustnessColumns);
    }
};

// The three tables of the ensemble from every model's digests.
bool ensemble_tables(const std::vector<ModelRun>& runs, long long nsets, float limit, Tables3& t, std::string& note) {
    const State& lead = *std::find_if(runs.begin(), runs.end(), [](const ModelRun& r) { return r.model.reference; })->inputs;
    const int nrobust = static_cast<int>(std::count_if(runs.begin(), runs.end(), [](const ModelRun& r) { return !r.model.reference; }));
    for (long long k = 1; k <= nsets; ++k) {
        for (int w = 0; w < nwindows; ++w) {
            const auto wi = static_cast<std::size_t>(w);
            std::vector<Weighed> members;
            std::vector<const SetDigest*> robust;
            for (const auto& r : runs) {
                const SetDigest& d = r.digests.at(k);
                if (r.model.reference) {
                    members.push_back({&d, r.model.weight});
                } else {
                    robust.push_back(&d);
                }
            }
            // The window pooled when every reference model has it over the
            // same years; robustness models counted when they have it too.
            const SetDigest& lead_digest = *members.front().digest;
            const int first = lead_digest.first[wi], last = lead_digest.last[wi];
            auto same = [&](const SetDigest& d) { return in_summary(d, wi) && d.first[wi] == first && d.last[wi] == last; };
            const bool poolable = std::all_of(members.begin(), members.end(), [&](const Weighed& m) { return same(*m.digest); });
            const bool none = std::none_of(members.begin(), members.end(), [&](const Weighed& m) { return in_summary(*m.digest, wi); });
            const bool robust_window = poolable && std::all_of(robust.begin(), robust.end(), [&](const SetDigest* d) { return same(*d); });
            int meeting = 0;
            for (const SetDigest* d : robust) {
                if (d->stats[wi][risk3] <= limit) ++meeting;
            }
            for (const auto& r : runs) {
                const SetDigest& d = r.digests.at(k);
                if (!in_summary(d, wi)) continue;
                for (int s = 0; s < nsummary; ++s) {
                    std::string& b = t.by_model;
                    puttext(b, r.model.name);
                    b += r.model.reference ? ",reference," : ",robustness,";
                    if (r.model.reference) putnum(b, r.model.weight);
                    b += ',';
                    row_start(b, k, d.first[wi] + r.inputs->year0, d.last[wi] + r.inputs->year0, s);
                    putnum(b, d.stats[wi][static_cast<std::size_t>(s)]);
                    b += '\n';
                }
            }
            if (poolable) {
                SummaryValues v;
                pooled_summary(members, static_cast<Window>(w), v);
                for (int s = 0; s < nsummary; ++s) {
                    row_start(t.pooled, k, first + lead.year0, last + lead.year0, s);
                    putnum(t.pooled, v[static_cast<std::size_t>(s)]);
                    t.pooled += '\n';
                }
            } else if (static_cast<Window>(w) != Window::summary) {
                return false;
            } else if (!none) {
                note = "ensemble.csv has no rows of the summary window: the reference models' Years files differ in "
                       "their years or are not all written";
            }
            if (nrobust > 0 && robust_window) {
                row_start(t.robust, k, first + lead.year0, last + lead.year0, risk3);
                putnum(t.robust, limit);
                t.robust += ',';
                putint(t.robust, nrobust);
                t.robust += ',';
                putint(t.robust, meeting);
                t.robust += '\n';
            }
        }
    }
    return true;
}

// An ensemble as a run: its folder claimed for the whole ensemble, every
// model's inputs read and checked and the option sets compared before
// anything is written, what an earlier attempt finished taken up, the models
// run one after the other, each an ordinary run, then pooled.
class EnsembleRun final : public RunSteps {
public:
    EnsembleRun(const RunOptions& opts, std::FILE* out, std::FILE* err, std::FILE* term, const Processes* procs)
        : opts_(opts), out_(out), err_(err), term_(term), procs_(procs),
          several_(procs != nullptr && procs->several()), helper_(several_ && procs->rank() > 0),
          progress_(progress_folder(opts.output)) {}

    bool writes() const override { return !opts_.check && !helper_; }
    void say(const std::string& text) override {
        if (!helper_) std::fprintf(err_, "%s\n", text.c_str());
    }
    void read_inputs() override;
    std::string* stagedir() override { return nullptr; }
    void staged(RunLife&) override;
    void run_sets(RunLife&) override;
    int stopped(const std::exception_ptr& e) override {
        const Stopped st = stopped_by(e);
        if (!st.said.empty()) say(st.said);
        return st.status;
    }
    int closed(RunLife&, int status) override {
        // The other processes go on only when the first one holds the folder.
        if (several_ && !agreed_ && !opts_.check) sweep_ready(*procs_, false);
        return status;
    }
    bool begun() const override { return begun_; }
    int published(RunLife&, int status) override {
        if (status != 0) return status;
        std::error_code ec;
        fs::remove_all(progress_, ec);
        sync_path(opts_.output);
        return status;
    }

private:
    [[noreturn]] void stop(int status, const std::string& what) {
        say(what);
        throw StopRun{status};
    }
    void run_model(std::size_t j);
    void pool();

    const RunOptions& opts_;
    std::FILE *out_, *err_, *term_;
    const Processes* procs_;
    const bool several_, helper_;
    const std::string progress_;
    std::vector<ModelRun> runs_;
    long long nsets_ = 0;
    bool agreed_ = false, begun_ = false;
};

void EnsembleRun::read_inputs() {
    std::string why;
    const auto models = read_ensemble(opts_.ensemble_file, why);
    if (!models) stop(2, why);
    for (const auto& m : *models) {
        ModelRun r;
        r.model = m;
        r.inputs = make_state();
        RunOptions o;
        o.dir = m.path;
        o.nsim = opts_.nsim;
        if (const int status = read_inputs_held(*r.inputs, o, helper_ ? nullptr : err_, false)) {
            stop(status, "The ensemble stops before any option set: the inputs of model '" + m.name + "' (" + m.path +
                             ") cannot be run");
        }
        if (!runs_.empty()) {
            const std::string differs = option_sets_differ(*runs_.front().inputs, runs_.front().model.name, *r.inputs, m.name);
            if (!differs.empty()) {
                stop(1, "Cannot run the ensemble " + opts_.ensemble_file + ": " + differs +
                            "; the option sets must be the same in every model");
            }
        }
        runs_.push_back(std::move(r));
    }
    nsets_ = countsets(*runs_.front().inputs);
    if (nsets_ == 0) stop(1, "Cannot run the ensemble " + opts_.ensemble_file + ": its models have no option set");
}

// What an earlier attempt finished, or a fresh record of the progress.
void EnsembleRun::staged(RunLife&) {
    if (opts_.check) return;
    if (several_) {
        agreed_ = true;
        // The first process holds the folder; the others end without a word when it does not.
        if (!sweep_ready(*procs_, true)[0]) throw StopRun{helper_ ? 0 : 1};
    }
    const std::string described = description(runs_);
    std::error_code ec;
    std::string why;
    if (!helper_) {
        if (opts_.resume && fs::exists(fs::path(progress_) / kDescription, ec)) {
            if (whole_file((fs::path(progress_) / kDescription).string()) != described) {
                stop(1, "Cannot resume the ensemble in " + opts_.output + ": its models or their inputs have changed since");
            }
        } else {
            if (opts_.resume) {
                std::fprintf(err_, "Nothing to resume in %s: the ensemble starts from its first model\n",
                             opts_.output.c_str());
            }
            fs::remove_all(progress_, ec);
            fs::create_directories(progress_, ec);
            if (!write_whole((fs::path(progress_) / kDescription).string(), described, &why)) {
                stop(1, "Cannot write " + progress_ + ": " + why);
            }
            write_whole((fs::path(progress_) / kFinished).string(), "");
        }
        begun_ = true;
    }
    std::istringstream done(whole_file((fs::path(progress_) / kFinished).string()));
    for (std::string name; std::getline(done, name);) {
        for (auto& r : runs_) {
            if (r.model.name == name) r.finished = true;
        }
    }
}

// Model j as `tacsim --csv FOLDER -o OUT/<name>` runs it, each set's
// digest appended to the model's file of digests as the set ends.
void EnsembleRun::run_model(std::size_t j) {
    ModelRun& r = runs_[j];
    const std::string folder = (fs::path(opts_.output) / r.model.name).string();
    const std::string dfile = digest_file(opts_.output, r.model.name);
    std::string whole;
    std::error_code ec;
    r.digests = read_digests(dfile, whole);
    // A finished model whose statistics are not all there any more runs
    // again (every process decides alike: the helpers rerun it too).
    if (r.finished && complete(r.digests, nsets_)) return;
    if (term_ != nullptr && !opts_.quiet) {
        std::fprintf(term_, "Operating model %zu of %zu: %s\n", j + 1, runs_.size(), r.model.name.c_str());
    }
    RunOptions mo = opts_;
    mo.ensemble = false;
    mo.ensemble_file.clear();
    // With --report each model's page goes into its folder.
    mo.report = opts_.report;
    mo.dir = r.model.path;
    mo.output = folder;
    mo.csv = true;
    mo.resume = opts_.resume && fs::exists(fs::path(folder) / kCheckpointFile, ec);
    mo.args = {opts_.args.empty() ? "tacsim" : opts_.args.front(), "--csv", r.model.path, "-o", folder};
    if (opts_.iterations) mo.args.push_back("--iterations");
    if (opts_.nsim) mo.args.insert(mo.args.end(), {"--nsim", std::to_string(*opts_.nsim)});
    if (opts_.report) mo.args.push_back("--report");
    auto s = make_state();
    std::FILE* digests = nullptr;
    if (helper_) {
        s->con.hold("standard output");
        s->err.hold("error stream");
    } else {
        s->con.attach(out_, "standard output");
        s->err.attach(err_, "error stream");
        // Only the whole digests of an earlier attempt, then this one's.
        write_whole(dfile, whole);
        digests = std::fopen(dfile.c_str(), "ab");
        if (digests == nullptr) stop(1, "Cannot write " + dfile);
    }
    std::string bytes;
    auto on_set = [&](State& st, long long k) {
        if (helper_) return;
        SetDigest& d = r.digests[k];
        digest_set(st, k, d);
        bytes.clear();
        append_digest(bytes, d);
        if (std::fwrite(bytes.data(), 1, bytes.size(), digests) != bytes.size() || std::fflush(digests) != 0) {
            std::fprintf(err_, "Cannot write %s\n", dfile.c_str());
            throw StopRun{1};
        }
    };
    int status = run(*s, mo, term_, procs_, on_set);
    if (digests != nullptr) std::fclose(digests);
    s.reset();
    // Every process hears whether the first one goes on.
    if (several_) status = sweep_ready(*procs_, status == 0)[0] ? 0 : (status != 0 ? status : 1);
    if (status != 0) {
        stop(status, "The ensemble stopped in model '" + r.model.name + "' (" + std::to_string(j + 1) + " of " +
                         std::to_string(runs_.size()) + "); the same command with --resume goes on from there");
    }
    if (helper_) return;
    if (!complete(r.digests, nsets_)) {
        stop(1, "Internal error: model '" + r.model.name +
                    "' left the statistics of some option sets out; run the ensemble again without --resume");
    }
    std::FILE* fin = std::fopen((fs::path(progress_) / kFinished).string().c_str(), "ab");
    if (fin == nullptr || std::fprintf(fin, "%s\n", r.model.name.c_str()) < 0 || std::fclose(fin) != 0) {
        stop(1, "Cannot write " + progress_);
    }
}

// The pooled statistics and every model's, and the ensemble's page.
void EnsembleRun::pool() {
    Tables3 t;
    std::string note, why;
    const float limit = opts_.risk_limit.value_or(5.0f);
    if (!ensemble_tables(runs_, nsets_, limit, t, note)) {
        stop(1, "Cannot pool the reference models: their windows differ in their years");
    }
    if (!note.empty()) std::fprintf(err_, "Note: %s\n", note.c_str());
    const std::pair<const char*, const std::string*> files[] = {
        {kEnsembleCsv, &t.pooled}, {kByModelCsv, &t.by_model}, {kRobustnessCsv, &t.robust}};
    for (const auto& [name, text] : files) {
        const std::string path = (fs::path(opts_.output) / name).string();
        if (!write_whole(path, *text, &why)) stop(1, "Cannot write output file " + path + ": " + why);
    }
    // The ensemble's page, from the tables just written.
    if (opts_.report) {
        std::vector<report::EnsembleMember> members;
        for (const auto& r : runs_) members.push_back({r.model.name, r.model.reference});
        try {
            report::write_ensemble_page(opts_.output, members, limit, version_text());
        } catch (const std::exception& e) {
            stop(1, std::string("Cannot write the ensemble's report: ") + e.what());
        }
    }
}

void EnsembleRun::run_sets(RunLife&) {
    if (opts_.check) {
        if (out_ != nullptr) {
            std::fprintf(out_, "Ensemble %s: %zu models read and checked, the same %lld option sets in each\n",
                         opts_.ensemble_file.c_str(), runs_.size(), nsets_);
        }
        return;
    }
    for (std::size_t j = 0; j < runs_.size(); ++j) run_model(j);
    if (!helper_) pool();
}

}  // namespace

int run_ensemble(const RunOptions& opts, std::FILE* out, std::FILE* err, std::FILE* term, const Processes* procs) {
    EnsembleRun ensemble(opts, out, err, term, procs);
    RunLife life(procs != nullptr && procs->rank() > 0 ? std::string() : opts.output, false);
    return life.live(ensemble);
}

}  // namespace tacsim
