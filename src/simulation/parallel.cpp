// The option sweep on several threads: workers with models of their own, the
// run's thread confirming guesses and writing the held records in order.
#include "simulation/parallel.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "io/outfiles.hpp"
#include "random/draws.hpp"
#include "results/tables.hpp"
#include "simulation/observer.hpp"
#include "simulation/simulation.hpp"

namespace tacsim {

namespace {

void copy_model(Model& to, const Model& from) { std::memcpy(static_cast<void*>(&to), &from, sizeof(Model)); }

bool same_model(const Model& a, const Model& b) { return std::memcmp(&a, &b, sizeof(Model)) == 0; }

std::shared_ptr<const Model> snapshot(const Model& m) {
    auto p = std::make_shared<Model>();
    copy_model(*p, m);
    return p;
}

// How a set stopped, for comparing two runs of its first iteration.
std::string describe(const std::exception_ptr& e) {
    if (!e) return "";
    try {
        std::rethrow_exception(e);
    } catch (const StopRun& st) {
        return "stop " + std::to_string(st.status);
    } catch (const std::bad_alloc&) {
        return "memory";
    } catch (const std::exception& x) {
        return std::string("fault ") + x.what();
    } catch (...) {
        return "unknown";
    }
}

}  // namespace

namespace {

// Calls f on each value an option set may read before writing it.
template <class F>
void each_carried(const Model& m, F&& f) {
    f(m.rreg);
    f(m.rfun);
    f(m.rdist);
    f(m.rtrunc);
    f(m.rlevel);
    f(m.rmax);
    f(m.rssb);
    f(m.rcv);
    f(m.rlow);
    f(m.rhigh);
    f(m.rpow);
    f(m.ramp);
    f(m.rper);
    f(m.rphase);
    for (int a = 0; a <= maxage; ++a) {
        f(m.wecayr(0, a));
        f(m.westyr(0, a));
        f(m.maturyr(0, a));
    }
    f(m.rindex);
    f(m.fperc(maxyear));
}

template <class T>
std::size_t offset_in(const Model& m, const T& field) {
    return static_cast<std::size_t>(reinterpret_cast<const char*>(&field) - reinterpret_cast<const char*>(&m));
}

}  // namespace

std::string carried_bytes(const Model& m) {
    std::string b;
    each_carried(m, [&](const auto& field) { b.append(reinterpret_cast<const char*>(&field), sizeof field); });
    return b;
}

bool restore_carried(Model& m, std::string_view b) {
    std::size_t need = 0;
    each_carried(m, [&](const auto& field) { need += sizeof field; });
    if (b.size() != need) return false;
    std::size_t at = 0;
    each_carried(m, [&](const auto& field) {
        std::memcpy(reinterpret_cast<char*>(&m) + offset_in(m, field), b.data() + at, sizeof field);
        at += sizeof field;
    });
    return true;
}

OutFile& stream(State& s, int i) {
    if (i < 17) return s.unit(11 + i);
    return i == 17 ? s.con : s.err;
}

struct ResultsPool::Spares {
    std::mutex m;
    std::vector<std::unique_ptr<SetResults>> free;
};

ResultsPool::ResultsPool() : spares_(std::make_shared<Spares>()) {}

std::shared_ptr<SetResults> ResultsPool::take(int nsim) {
    std::unique_ptr<SetResults> r;
    {
        std::lock_guard<std::mutex> g(spares_->m);
        if (!spares_->free.empty()) {
            r = std::move(spares_->free.back());
            spares_->free.pop_back();
        }
    }
    if (!r) r = std::make_unique<SetResults>();
    r->nsim = nsim;
    // Given back when the last holder lets go (the pool's spares live as
    // long as a store is out).
    return std::shared_ptr<SetResults>(r.release(), [sp = spares_](SetResults* p) {
        std::lock_guard<std::mutex> g(sp->m);
        sp->free.emplace_back(p);
    });
}

void prepare_worker(State& w, const State& s) {
    w.nsim = s.nsim;
    release_results(w);
    w.srpar = s.srpar;
    w.biofile = s.biofile;
    w.optfile = s.optfile;
    w.canumfile = s.canumfile;
    w.indir = s.indir;
    w.outdir = s.outdir;
    w.unit12name = s.unit12name;
    for (const LegacyFile& f : legacy_files)
        if (s.unit(f.unit).is_open()) w.unit(f.unit).hold(s.unit(f.unit).name());
    w.con.hold(s.con.name());
    w.err.hold(s.err.name());
    if (s.messages_to_err) messages_to_error_stream(w);
    for (int i = 0; i < nstreams; ++i) stream(w, i).set_overflow_log(&w.overflow);
}

void runset_held(State& w, const SetJob& job, SetOutcome& o, int upto, const std::atomic<bool>* cancel,
                 std::atomic<int>* progress, ResultsPool* pool, bool replay) {
    o.job = job;
    for (int i = 0; i < nstreams; ++i)
        if (stream(w, i).holding()) stream(w, i).hold(stream(w, i).name());
    w.overflow = OverflowLog();
    copy_model(w, *job.start);
    w.par = job.par;
    // The store holds the iterations run: all of them, or the first few of
    // a replay (made once per worker, not per set).
    const int columns = std::min(upto, w.nsim);
    if (results_columns(w) != columns) size_results(w, columns);
    stream_set(w, job.k);
    try {
        setbegin(w);
        o.conmark = w.con.held();
        // Each iteration writes its column of these before anything reads
        // it; they start equal whatever set the store held before.
        w.tsbres.fill(0.0f);
        w.recres.fill(0.0f);
        w.regres.fill(0);
        for (int it = 1; it <= upto; ++it) {
            if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
                o.cancelled = true;
                break;
            }
            bootiter(w, it);
            if (progress != nullptr) progress->store(it, std::memory_order_relaxed);
            if (it == 1) {
                o.first = snapshot(w);
                o.firstresults = iteration_bytes(w, 1);
                for (int i = 0; i < nstreams; ++i) o.firstlen[i] = stream(w, i).held();
            }
        }
        if (upto == w.nsim && !replay && !o.cancelled) {
            setend(w);
            o.end = snapshot(w);
            o.results = pool != nullptr ? pool->take(w.nsim) : std::make_shared<SetResults>();
            o.results->nsim = w.nsim;
            swap_results(*o.results, w);
        }
    } catch (...) {
        o.stop = std::current_exception();
    }
    for (int i = 0; i < nstreams; ++i) o.held[i] = stream(w, i).take();
    o.overflowed = w.overflow.names();
}

bool confirmed(State& scratch, const SetOutcome& o, const std::shared_ptr<const Model>& actual) {
    if (o.job.start == actual) return true;
    SetJob j = o.job;
    j.start = actual;
    SetOutcome r;
    runset_held(scratch, j, r, 1, nullptr, nullptr, nullptr, true);
    if (!o.first || !r.first) {
        // Stopped in the first iteration: the same records and the same stop.
        return !o.first && !r.first && r.held == o.held && r.overflowed == o.overflowed &&
               describe(r.stop) == describe(o.stop);
    }
    if (!same_model(*o.first, *r.first) || o.firstresults != r.firstresults) return false;
    for (int i = 0; i < nstreams; ++i) {
        if (r.held[i].size() != o.firstlen[i]) return false;
        if (o.held[i].compare(0, o.firstlen[i], r.held[i]) != 0) return false;
    }
    return true;
}

void write_held(State& s, const SetOutcome& o) {
    for (int i = 0; i < nstreams; ++i) {
        const std::string& h = o.held[i];
        if (i == 17 && o.conmark <= h.size()) {
            s.con.put(std::string_view(h).substr(0, o.conmark));
            s.con.restart_capture();
            s.con.put(std::string_view(h).substr(o.conmark));
        } else if (!h.empty()) {
            stream(s, i).put(h);
        }
    }
    for (const auto& name : o.overflowed) s.overflow.note(name);
    if (o.stop) std::rethrow_exception(o.stop);
}

namespace {

class ThreadRunner final : public SetRunner {
public:
    ThreadRunner(const State& s, int threads) : slots_(static_cast<std::size_t>(threads)) {
        for (int i = 0; i < threads; ++i) {
            slots_[i].state = make_state();
            prepare_worker(*slots_[i].state, s);
        }
        for (int i = 0; i < threads; ++i) threads_.emplace_back([this, i] { work(slots_[i]); });
    }
    ~ThreadRunner() override {
        cancel();
        for (auto& t : threads_) t.join();
    }

    int capacity() const override { return static_cast<int>(slots_.size()); }

    void submit(SetJob job, bool urgent) override {
        {
            std::lock_guard<std::mutex> g(m_);
            if (urgent)
                queue_.push_front(std::move(job));
            else
                queue_.push_back(std::move(job));
        }
        jobs_cv_.notify_one();
    }

    bool collect(SetOutcome& o, std::chrono::milliseconds wait) override {
        std::unique_lock<std::mutex> g(m_);
        if (!done_cv_.wait_for(g, wait, [this] { return !done_.empty(); })) return false;
        o = std::move(done_.front());
        done_.pop_front();
        return true;
    }

    int iteration_of(long long k) const override {
        for (const auto& sl : slots_)
            if (sl.k.load(std::memory_order_relaxed) == k) return sl.it.load(std::memory_order_relaxed);
        return 0;
    }

    void cancel() override {
        {
            std::lock_guard<std::mutex> g(m_);
            closing_ = true;
            queue_.clear();
        }
        cancel_.store(true);
        jobs_cv_.notify_all();
    }

private:
    struct Slot {
        std::unique_ptr<State> state;
        std::atomic<long long> k{0};
        std::atomic<int> it{0};
    };

    void work(Slot& sl) {
        for (;;) {
            SetJob job;
            {
                std::unique_lock<std::mutex> g(m_);
                jobs_cv_.wait(g, [this] { return closing_ || !queue_.empty(); });
                if (closing_) return;
                job = std::move(queue_.front());
                queue_.pop_front();
            }
            sl.it.store(0);
            sl.k.store(job.k);
            SetOutcome o;
            runset_held(*sl.state, job, o, sl.state->nsim, &cancel_, &sl.it, &pool_);
            sl.k.store(0);
            if (o.cancelled) continue;
            {
                std::lock_guard<std::mutex> g(m_);
                done_.push_back(std::move(o));
            }
            done_cv_.notify_one();
        }
    }

    std::vector<Slot> slots_;
    ResultsPool pool_;
    std::vector<std::thread> threads_;
    mutable std::mutex m_;
    std::condition_variable jobs_cv_, done_cv_;
    std::deque<SetJob> queue_;
    std::deque<SetOutcome> done_;
    bool closing_ = false;
    std::atomic<bool> cancel_{false};
};

}  // namespace

std::unique_ptr<SetRunner> thread_runner(const State& s, int threads) {
    return std::make_unique<ThreadRunner>(s, threads);
}

void optruns_on(State& s, SetRunner& runner, SweepCount& count) {
    checkranges(s);
    SweepOrder order(s);
    SweepObserver* const watch = s.observer;
    if (watch != nullptr) watch->sweep_started(s, countsets(s));
    std::shared_ptr<const Model> actual = snapshot(s);  // the model the last written set left
    std::shared_ptr<const Model> latest = actual;       // the latest finished set's: the guess
    long long latest_k = 0;
    long long next_k = 1, next_write = 1;
    int running = 0;
    // Sets run at most this far ahead of the last one written, which bounds
    // the records held in memory.
    const long long ahead = 2LL * runner.capacity();
    std::map<long long, SetOutcome> finished;
    auto scratch = make_state();
    prepare_worker(*scratch, s);
    // A resumed run goes on after the sets it has written.
    for (const long long done = watch != nullptr ? watch->sets_done() : 0; next_k <= done && !order.done(); ++next_k) {
        order.advance();
    }
    next_write = next_k;
    if (watch != nullptr && !order.done()) watch->set_started(s, next_write);

    for (;;) {
        while (running < runner.capacity() && !order.done() && next_k - next_write < ahead) {
            SetJob job;
            job.k = next_k++;
            order.values(job.par);
            order.advance();
            if (job.k == next_write) {
                job.start = actual;
            } else {
                job.start = latest;
                ++count.guessed;
            }
            runner.submit(std::move(job), false);
            ++running;
        }
        if (running == 0 && finished.empty()) return;

        SetOutcome o;
        if (!runner.collect(o, std::chrono::milliseconds(100))) {
            // The progress of the set awaited; an interruption ends the sweep here.
            if (watch != nullptr) watch->iteration(s, std::max(runner.iteration_of(next_write), 1));
            continue;
        }
        --running;
        if (o.end && o.job.k > latest_k) {
            latest = o.end;
            latest_k = o.job.k;
        }
        const long long k = o.job.k;
        finished.emplace(k, std::move(o));

        while (!finished.empty() && finished.begin()->first == next_write) {
            SetOutcome& w = finished.begin()->second;
            if (!confirmed(*scratch, w, actual)) {
                ++count.reruns;
                SetJob again = w.job;
                again.start = actual;
                finished.erase(finished.begin());
                runner.submit(std::move(again), true);
                ++running;
                break;
            }
            if (w.stop) runner.cancel();
            write_held(s, w);
            actual = w.end;
            const std::shared_ptr<SetResults> results = std::move(w.results);
            ++count.sets;
            finished.erase(finished.begin());
            // The run's model is now the one the set left, as after the set
            // in the one-thread sweep, for the tables' rows of the set.
            copy_model(s, *actual);
            // And its results those of the set; the store it held goes back
            // with the outcome.
            if (results) swap_results(s, *results);
            if (s.tables != nullptr) s.tables->endset(s, next_write);
            if (watch != nullptr) watch->set_finished(s, next_write);
            setflush(s);
            if (watch != nullptr) watch->set_saved(s, next_write);
            ++next_write;
            if (watch != nullptr && (!order.done() || !finished.empty() || running > 0))
                watch->set_started(s, next_write);
        }
    }
}

void optruns_parallel(State& s, int jobs, SweepCount& count) {
    if (jobs <= 1) {
        optruns(s);
        return;
    }
    auto runner = thread_runner(s, jobs);
    optruns_on(s, *runner, count);
}

}  // namespace tacsim
