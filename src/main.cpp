// tacsim: management strategy evaluation of harvest control rules for one
// age-structured fish stock. Without arguments it reads its input files from
// the working directory and writes its results there; `tacsim report [DIR]`
// draws report.html from the result tables in DIR.
#include <cstdio>
#include <cstring>

#include "driver/driver.hpp"
#include "report/report.hpp"

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "report") == 0) {
        try {
            const auto r = tacsim::report::write_report(argc >= 3 ? argv[2] : ".", "development");
            for (const auto& n : r.notes) std::fprintf(stderr, "Note: %s\n", n.c_str());
            return 0;
        } catch (const tacsim::report::ReportError& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    auto state = tacsim::make_state();
    state->con.attach(stdout, "standard output");
    state->err.attach(stderr, "error stream");
    return tacsim::run(*state);
}
