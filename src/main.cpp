// tacsim: management strategy evaluation of harvest control rules for one
// age-structured fish stock. `tacsim [OPTIONS] [DIR]`; see `tacsim --help`.
#include "driver/program.hpp"

int main(int argc, char** argv) { return tacsim::tacsim_main(argc, argv); }
