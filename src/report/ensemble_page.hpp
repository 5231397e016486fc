// The page of an ensemble (report.html in its folder): the answer (the best
// option set that meets the risk limit pooled, and in how many robustness
// models it holds), the pooled trade-off of every set, a matrix of sets by
// models (risk and median catch, cells over the limit marked; reference and
// robustness models apart), and for a chosen set the fans of SSB and catch
// of every model side by side on shared axes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tacsim::report {

struct EnsembleMember {
    std::string name;
    bool reference = true;
};

// Draws the page from OUT's ensemble.csv and by_model.csv and each model's
// yearly.csv (in OUT/<name>/), over all years; `limit` is
// the risk limit (%). Throws ReportError naming the file when a table
// cannot be read.
void write_ensemble_page(const std::filesystem::path& out, const std::vector<EnsembleMember>& models, double limit,
                         const std::string& version);

// The models of the ensemble in OUT, in the order of by_model.csv.
std::vector<EnsembleMember> ensemble_members(const std::filesystem::path& out);

}  // namespace tacsim::report
