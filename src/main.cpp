// tacsim: management strategy evaluation of harvest control rules for one
// age-structured fish stock. Reads its input files from the working
// directory and writes its results there.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "driver/driver.hpp"

int main(int argc, char** argv) {
    CLI::App app{"tacsim: management strategy evaluation of harvest control rules"};
    int jobs = tacsim::default_jobs();
    app.add_option("-j,--jobs", jobs, "Option sets run on N threads (default: one per core)")
        ->check(CLI::Range(1, 4096));
    CLI11_PARSE(app, argc, argv);
    auto state = tacsim::make_state();
    state->con.attach(stdout, "standard output");
    state->err.attach(stderr, "error stream");
    return tacsim::run(*state, jobs);
}
