// The option sweep over the processes of an MPI job. Rank 0 runs the sweep
// of parallel.cpp on a set runner that puts sets on its own threads first and
// sends the rest to the other ranks; a set travels as its number, its values
// and the whole model it starts from, and comes back as its held records,
// its models after the first iteration and at the end, and how it stopped.
#include "simulation/processes.hpp"

#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#ifdef TACSIM_MPI
#include <mpi.h>
#endif

namespace tacsim {

#ifndef TACSIM_MPI

Processes::Processes() = default;
Processes::~Processes() = default;
std::vector<char> sweep_ready(const Processes&, bool ready) { return std::vector<char>(1, ready ? 1 : 0); }
void optruns_ranks(State& s, const Processes&, const std::vector<char>&, int jobs, SweepCount& count) {
    optruns_parallel(s, jobs, count);
}
void serve_sets(State&, const Processes&, int) {}

#else

namespace {

enum Tag { task_tag = 1, done_tag = 2, result_tag = 3, bye_tag = 4 };

// Started by an MPI launcher: Open MPI's mpirun, or a PMI of Slurm's srun.
bool launched_by_mpi() {
    return std::getenv("OMPI_COMM_WORLD_SIZE") != nullptr || std::getenv("PMI_SIZE") != nullptr ||
           std::getenv("PMIX_RANK") != nullptr;
}

// ---- packing: plain bytes, the same program on every rank

class Packer {
public:
    template <class T>
    void put(const T& v) {
        const auto* p = reinterpret_cast<const char*>(&v);
        buf_.insert(buf_.end(), p, p + sizeof(T));
    }
    void bytes(const void* p, std::size_t n) {
        put(static_cast<std::uint64_t>(n));
        const auto* c = static_cast<const char*>(p);
        buf_.insert(buf_.end(), c, c + n);
    }
    std::vector<char>& buffer() { return buf_; }

private:
    std::vector<char> buf_;
};

class Unpacker {
public:
    explicit Unpacker(const std::vector<char>& b) : buf_(b) {}
    template <class T>
    T get() {
        T v;
        std::memcpy(&v, take(sizeof(T)), sizeof(T));
        return v;
    }
    // Length-prefixed bytes: where they are and how many.
    std::pair<const char*, std::size_t> bytes() {
        const auto n = static_cast<std::size_t>(get<std::uint64_t>());
        return {take(n), n};
    }

private:
    const char* take(std::size_t n) {
        if (at_ + n > buf_.size()) throw std::runtime_error("truncated message between processes");
        const char* p = buf_.data() + at_;
        at_ += n;
        return p;
    }
    const std::vector<char>& buf_;
    std::size_t at_ = 0;
};

void send(const std::vector<char>& b, int to, int tag) {
    MPI_Send(b.data(), static_cast<int>(b.size()), MPI_BYTE, to, tag, MPI_COMM_WORLD);
}

// Receives the message that `st` announced.
std::vector<char> receive(const MPI_Status& st) {
    int n = 0;
    MPI_Get_count(&st, MPI_BYTE, &n);
    std::vector<char> b(static_cast<std::size_t>(n));
    MPI_Status got;
    MPI_Recv(b.data(), n, MPI_BYTE, st.MPI_SOURCE, st.MPI_TAG, MPI_COMM_WORLD, &got);
    return b;
}

std::vector<char> pack_job(const SetJob& j) {
    Packer p;
    p.put(j.k);
    p.put(j.par);
    p.bytes(j.start.get(), sizeof(Model));
    return std::move(p.buffer());
}

SetJob unpack_job(const std::vector<char>& b) {
    Unpacker u(b);
    SetJob j;
    j.k = u.get<long long>();
    j.par = u.get<Array<float, 1, noptions>>();
    auto m = std::make_shared<Model>();
    const auto [p, n] = u.bytes();
    if (n != sizeof(Model)) throw std::runtime_error("model of another size from another process");
    std::memcpy(static_cast<void*>(m.get()), p, n);
    j.start = std::move(m);
    return j;
}

// How a set stopped, across processes: 0 it did not, 1 a stop with a status,
// 2 an unreadable value, 3 out of memory, 4 any other fault.
void pack_stop(Packer& p, const std::exception_ptr& e) {
    int kind = 0, status = 0;
    std::string what;
    if (e) {
        try {
            std::rethrow_exception(e);
        } catch (const StopRun& st) {
            kind = 1;
            status = st.status;
        } catch (const RecordError& x) {
            kind = 2;
            what = x.what();
        } catch (const std::bad_alloc&) {
            kind = 3;
        } catch (const std::exception& x) {
            kind = 4;
            what = x.what();
        } catch (...) {
            kind = 4;
            what = "unknown fault";
        }
    }
    p.put(kind);
    p.put(status);
    p.bytes(what.data(), what.size());
}

std::exception_ptr unpack_stop(Unpacker& u) {
    const int kind = u.get<int>();
    const int status = u.get<int>();
    const auto [w, n] = u.bytes();
    const std::string what(w, n);
    switch (kind) {
        case 1: return std::make_exception_ptr(StopRun{status});
        case 2: return std::make_exception_ptr(RecordError(what));
        case 3: return std::make_exception_ptr(std::bad_alloc());
        case 4: return std::make_exception_ptr(std::runtime_error(what));
        default: return nullptr;
    }
}

void pack_model(Packer& p, const std::shared_ptr<const Model>& m) {
    if (m)
        p.bytes(m.get(), sizeof(Model));
    else
        p.bytes(nullptr, 0);
}

std::shared_ptr<const Model> unpack_model(Unpacker& u) {
    const auto [b, n] = u.bytes();
    if (n == 0) return nullptr;
    if (n != sizeof(Model)) throw std::runtime_error("model of another size from another process");
    auto m = std::make_shared<Model>();
    std::memcpy(static_cast<void*>(m.get()), b, n);
    return m;
}

std::vector<char> pack_outcome(const SetOutcome& o) {
    Packer p;
    p.put(o.job.k);
    p.put(static_cast<std::uint64_t>(o.conmark));
    for (int i = 0; i < nstreams; ++i) {
        p.put(static_cast<std::uint64_t>(o.firstlen[i]));
        p.bytes(o.held[i].data(), o.held[i].size());
    }
    pack_model(p, o.first);
    p.bytes(o.firstresults.data(), o.firstresults.size());
    pack_model(p, o.end);
    const std::string results = o.results ? results_bytes(*o.results) : std::string();
    p.bytes(results.data(), results.size());
    pack_stop(p, o.stop);
    p.put(static_cast<std::uint64_t>(o.overflowed.size()));
    for (const auto& name : o.overflowed) p.bytes(name.data(), name.size());
    return std::move(p.buffer());
}

long long unpack_outcome(const std::vector<char>& b, SetOutcome& o) {
    Unpacker u(b);
    const long long k = u.get<long long>();
    o.conmark = static_cast<std::size_t>(u.get<std::uint64_t>());
    for (int i = 0; i < nstreams; ++i) {
        o.firstlen[i] = static_cast<std::size_t>(u.get<std::uint64_t>());
        const auto [h, n] = u.bytes();
        o.held[i].assign(h, n);
    }
    o.first = unpack_model(u);
    const auto [fr, nfr] = u.bytes();
    o.firstresults.assign(fr, nfr);
    o.end = unpack_model(u);
    const auto [rb, nrb] = u.bytes();
    if (nrb > 0) {
        o.results = std::make_shared<SetResults>();
        if (!restore_results(*o.results, std::string_view(rb, nrb)))
            throw std::runtime_error("results of another size from another process");
    }
    o.stop = unpack_stop(u);
    const auto names = u.get<std::uint64_t>();
    for (std::uint64_t i = 0; i < names; ++i) {
        const auto [c, n] = u.bytes();
        o.overflowed.emplace_back(c, n);
    }
    return k;
}

// Rank 0's runner: its own threads first, then the ready ranks, `jobs` sets
// each.
class RankRunner final : public SetRunner {
public:
    RankRunner(const State& s, const Processes& p, const std::vector<char>& ready, int jobs)
        : local_(thread_runner(s, jobs)), jobs_(jobs) {
        for (int r = 1; r < p.size(); ++r)
            if (ready[static_cast<std::size_t>(r)]) busy_[r] = 0;
    }
    ~RankRunner() override {
        local_->cancel();
        // Every rank stops; what it still sends before saying goodbye is
        // received and dropped.
        const std::vector<char> none;
        for (const auto& [r, n] : busy_) send(none, r, done_tag);
        for (const auto& [r, n] : busy_) {
            for (;;) {
                MPI_Status st;
                MPI_Probe(r, MPI_ANY_TAG, MPI_COMM_WORLD, &st);
                const auto b = receive(st);
                if (st.MPI_TAG == bye_tag) break;
            }
        }
    }

    int capacity() const override { return jobs_ * (1 + static_cast<int>(busy_.size())); }

    void submit(SetJob job, bool urgent) override {
        if (local_busy_ < jobs_) {
            ++local_busy_;
            local_->submit(std::move(job), urgent);
            return;
        }
        for (auto& [r, n] : busy_) {
            if (n < jobs_) {
                ++n;
                send(pack_job(job), r, task_tag);
                remote_.emplace(job.k, std::move(job));
                return;
            }
        }
        ++local_busy_;
        local_->submit(std::move(job), urgent);
    }

    bool collect(SetOutcome& o, std::chrono::milliseconds wait) override {
        const auto until = std::chrono::steady_clock::now() + wait;
        for (;;) {
            if (local_->collect(o, std::chrono::milliseconds(0))) {
                --local_busy_;
                return true;
            }
            int flag = 0;
            MPI_Status st;
            MPI_Iprobe(MPI_ANY_SOURCE, result_tag, MPI_COMM_WORLD, &flag, &st);
            if (flag) {
                const auto b = receive(st);
                SetOutcome got;
                const long long k = unpack_outcome(b, got);
                auto it = remote_.find(k);
                if (it == remote_.end()) throw std::runtime_error("a process sent a set it was not given");
                got.job = std::move(it->second);
                remote_.erase(it);
                --busy_[st.MPI_SOURCE];
                o = std::move(got);
                return true;
            }
            if (std::chrono::steady_clock::now() >= until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    int iteration_of(long long k) const override { return local_->iteration_of(k); }

    void cancel() override { local_->cancel(); }

private:
    std::unique_ptr<SetRunner> local_;
    int jobs_;
    int local_busy_ = 0;
    std::map<int, int> busy_;  // ready rank -> sets it runs
    std::map<long long, SetJob> remote_;
};

}  // namespace

Processes::Processes() {
    if (!launched_by_mpi()) return;
    int provided = 0;
    MPI_Init_thread(nullptr, nullptr, MPI_THREAD_FUNNELED, &provided);
    started_ = true;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
    MPI_Comm_size(MPI_COMM_WORLD, &size_);
    MPI_Comm node;
    MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, rank_, MPI_INFO_NULL, &node);
    MPI_Comm_size(node, &local_);
    MPI_Comm_free(&node);
}

Processes::~Processes() {
    if (started_) MPI_Finalize();
}

std::vector<char> sweep_ready(const Processes& p, bool ready) {
    std::vector<char> all(static_cast<std::size_t>(p.size()), 0);
    char mine = ready ? 1 : 0;
    if (p.several())
        MPI_Allgather(&mine, 1, MPI_CHAR, all.data(), 1, MPI_CHAR, MPI_COMM_WORLD);
    else
        all[0] = mine;
    return all;
}

void optruns_ranks(State& s, const Processes& p, const std::vector<char>& ready, int jobs, SweepCount& count) {
    if (!p.several()) return optruns_parallel(s, jobs, count);
    RankRunner runner(s, p, ready, jobs);
    optruns_on(s, runner, count);
}

void serve_sets(State& s, const Processes&, int jobs) {
    auto local = thread_runner(s, jobs);
    for (;;) {
        int flag = 0;
        MPI_Status st;
        MPI_Iprobe(0, MPI_ANY_TAG, MPI_COMM_WORLD, &flag, &st);
        if (flag) {
            const auto b = receive(st);
            if (st.MPI_TAG == done_tag) break;
            if (st.MPI_TAG == task_tag) local->submit(unpack_job(b), false);
            continue;
        }
        SetOutcome o;
        if (local->collect(o, std::chrono::milliseconds(1))) send(pack_outcome(o), 0, result_tag);
    }
    local.reset();
    send(std::vector<char>(), 0, bye_tag);
}

#endif

}  // namespace tacsim
