// The option sweep over the processes of an MPI job (`mpirun -n K tacsim`,
// `srun tacsim`): rank 0 reads the inputs, runs sets on its own threads,
// sends the others to the other ranks, confirms every guess and writes every
// file; the other ranks read the same inputs, write nothing, and run the
// sets they are sent on threads of their own. The bytes are those of the
// one-thread run.
#pragma once

#include <vector>

#include "simulation/parallel.hpp"

namespace tacsim {

// The processes of the run: one unless the program was built with MPI and
// started by an MPI launcher with more than one process.
class Processes {
public:
    Processes();
    ~Processes();
    Processes(const Processes&) = delete;
    Processes& operator=(const Processes&) = delete;
    int rank() const { return rank_; }
    int size() const { return size_; }
    // Processes of the run on this machine.
    int local_size() const { return local_; }
    bool several() const { return size_ > 1; }

private:
    int rank_ = 0, size_ = 1, local_ = 1;
    bool started_ = false;
};

// Every process says whether it reached the sweep; the answer, by rank, is
// the same on every process. Called exactly once by each process.
std::vector<char> sweep_ready(const Processes& p, bool ready);

// Rank 0: the sweep on `jobs` threads here and on every ready rank.
void optruns_ranks(State& s, const Processes& p, const std::vector<char>& ready, int jobs, SweepCount& count);

// Any other rank: runs the sets rank 0 sends on `jobs` threads until it says
// the sweep is over.
void serve_sets(State& s, const Processes& p, int jobs);

}  // namespace tacsim
