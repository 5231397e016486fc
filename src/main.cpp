// tacsim: management strategy evaluation of harvest control rules for one
// age-structured fish stock. Takes no arguments; reads its input files from
// the working directory and writes its results there.
#include <cstdio>

#include "driver/driver.hpp"

int main() {
    auto state = tacsim::make_state();
    state->con.attach(stdout, "standard output");
    state->err.attach(stderr, "error stream");
    return tacsim::run(*state);
}
