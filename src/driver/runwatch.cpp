#include "driver/runwatch.hpp"

#include <algorithm>
#include <csignal>
#include <cmath>

#include "io/outfiles.hpp"
#include "platform/platform.hpp"

namespace tacsim {

namespace {

// The signal that asked the run to stop. A signal handler can reach nothing
// but a variable of the process, and may only store into one of this type;
// it is the one process-wide variable of the program, written only here.
volatile std::sig_atomic_t noted_signal = 0;

extern "C" void note_signal(int sig) { noted_signal = sig; }

}  // namespace

void catch_interruptions() { platform::watch_interruptions(note_signal); }

int interruption() { return noted_signal; }

std::string human_duration(double seconds) {
    const long long t = std::llround(std::max(seconds, 0.0));
    char buf[64];
    if (t < 60) std::snprintf(buf, sizeof buf, "%lld s", t);
    else if (t < 3600) std::snprintf(buf, sizeof buf, "%lld min %02lld s", t / 60, t % 60);
    else std::snprintf(buf, sizeof buf, "%lld h %02lld min", t / 3600, (t % 3600) / 60);
    return buf;
}

void RunWatch::sweep_started(State& s, long long nsets) {
    total_ = nsets;
    nsim_ = s.nsim;
    for (const LegacyFile& f : legacy_files) marks_(f.unit) = s.unit(f.unit).position();
    con_mark_ = s.con.position();
    start_ = Clock::now();
    last_draw_ = start_;
    if (term_ != nullptr) {
        std::fprintf(term_, "%lld option set%s", nsets, nsets == 1 ? "" : "s");
        std::fflush(term_);
        opening_open_ = true;
    }
}

void RunWatch::set_started(State&, long long k) { current_ = k; }

void RunWatch::iteration(State&, int it) {
    if (noted_signal != 0) throw Interrupted{noted_signal};
    if (term_ == nullptr) return;
    const auto now = Clock::now();
    if (now - last_draw_ < std::chrono::milliseconds(100)) return;
    last_draw_ = now;
    draw(it);
}

void RunWatch::draw(int it) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
    const double done = (static_cast<double>(current_ - 1) * nsim_ + (it - 1)) /
                        (static_cast<double>(total_) * nsim_);
    if (done <= 0.0) return;
    // The first iterations of a run are too few for a fair estimate.
    if (opening_open_ && elapsed < 0.3) return;
    const double remaining = elapsed * (1.0 - done) / done;
    if (opening_open_) {
        std::fprintf(term_, ", about %s\n", human_duration(elapsed + remaining).c_str());
        opening_open_ = false;
    }
    std::fprintf(term_, "\r\x1b[Koption set %lld of %lld, iteration %d, %.0f %%, elapsed %s, remaining %s",
                 current_, total_, it, 100.0 * done, human_duration(elapsed).c_str(),
                 human_duration(remaining).c_str());
    std::fflush(term_);
    line_shown_ = true;
}

void RunWatch::set_finished(State& s, long long k) {
    if (on_finished) on_finished(s, k);
    for (const LegacyFile& f : legacy_files) marks_(f.unit) = s.unit(f.unit).position();
    con_mark_ = s.con.position();
    finished_ = k;
    if (opening_open_) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
        std::fprintf(term_, ", about %s\n",
                     human_duration(elapsed * static_cast<double>(total_) / static_cast<double>(k)).c_str());
        opening_open_ = false;
    }
    // Standard output may share the terminal: its records of the set follow
    // on a clean line.
    clear_line();
    if (noted_signal != 0) throw Interrupted{noted_signal};
}

void RunWatch::cut_back(State& s) const {
    for (const LegacyFile& f : legacy_files) {
        if (s.unit(f.unit).is_open() && marks_(f.unit) >= 0) s.unit(f.unit).cut_back(marks_(f.unit));
    }
    // The option values of a set that did not finish, if still buffered.
    if (con_mark_ >= 0) s.con.cut_back(con_mark_);
}

void RunWatch::clear_line() {
    if (term_ == nullptr) return;
    if (opening_open_) {
        std::fputs("\n", term_);
        opening_open_ = false;
    }
    if (line_shown_) {
        std::fputs("\r\x1b[K", term_);
        line_shown_ = false;
    }
    std::fflush(term_);
}

}  // namespace tacsim
