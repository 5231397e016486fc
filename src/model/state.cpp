#include "model/state.hpp"

#include <cstring>
#include <filesystem>
#include <type_traits>
#include <utility>

namespace tacsim {

std::unique_ptr<State> make_state() {
    auto s = std::make_unique<State>();
    size_results(*s);
    return s;
}

namespace {

// Calls f on every result array of the store.
template <class R, class F>
void each_result(R& r, F&& f) {
    f(r.icrash);
    f(r.ssbres);
    f(r.tsbres);
    f(r.catchres);
    f(r.tacres);
    f(r.fres);
    f(r.fdecres);
    f(r.recres);
    f(r.precres);
    f(r.basisres);
    f(r.regres);
}

}  // namespace

void size_results(SetResults& r, int columns) {
    each_result(r, [&](auto& a) { a.size_to(columns); });
    r.values.size_to(columns);
    r.scratch.size_to(columns);
    r.bits.assign(static_cast<std::size_t>(columns), 0);
}

void release_results(SetResults& r) {
    each_result(r, [](auto& a) { a.release(); });
    r.values.release();
    r.scratch.release();
    std::vector<std::uint64_t>().swap(r.bits);
}

int results_columns(const SetResults& r) { return r.ssbres.upper(1); }

std::string iteration_bytes(const SetResults& r, int it) {
    std::string b;
    each_result(r, [&](const auto& a) {
        for (int y = 0; y <= maxyear; ++y) {
            if constexpr (std::decay_t<decltype(a)>::rank == 3) {
                for (int k = 1; k <= maxbasis; ++k) b.append(reinterpret_cast<const char*>(&a(y, k, it)), sizeof a(y, k, it));
            } else {
                b.append(reinterpret_cast<const char*>(&a(y, it)), sizeof a(y, it));
            }
        }
    });
    return b;
}

void swap_results(SetResults& a, SetResults& b) { std::swap(a, b); }

std::string results_bytes(const SetResults& r) {
    const int head[2] = {r.nsim, results_columns(r)};
    std::string b(reinterpret_cast<const char*>(head), sizeof head);
    each_result(r, [&](const auto& a) { b.append(reinterpret_cast<const char*>(a.data()), a.size() * sizeof *a.data()); });
    return b;
}

bool restore_results(SetResults& r, std::string_view b) {
    int head[2] = {0, 0};
    if (b.size() < sizeof head) return false;
    std::memcpy(head, b.data(), sizeof head);
    if (head[0] < 1 || head[0] > max_nsim || head[1] < 0 || head[1] > head[0]) return false;
    r.nsim = head[0];
    size_results(r, head[1]);
    std::size_t at = sizeof head, need = at;
    each_result(r, [&](const auto& a) { need += a.size() * sizeof *a.data(); });
    if (b.size() != need) return false;
    each_result(r, [&](auto& a) {
        const std::size_t n = a.size() * sizeof *a.data();
        std::memcpy(static_cast<void*>(a.data()), b.data() + at, n);
        at += n;
    });
    return true;
}

namespace {

std::string in_folder(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return (std::filesystem::path(folder) / name).string();
}

}  // namespace

std::string in_path(const State& s, const std::string& name) { return in_folder(s.indir, name); }
std::string out_path(const State& s, const std::string& name) { return in_folder(s.outdir, name); }
std::string write_path(const State& s, const std::string& name) {
    return s.stagedir.empty() ? out_path(s, name) : in_folder(s.stagedir, name);
}

void messages_to_error_stream(State& s) {
    s.messages_to_err = true;
    s.err.end_records_with_lf(true);
}

void say_where(State& s) {
    if (!s.messages_to_err || s.reading_at.empty()) return;
    s.err.put(s.reading_at + ":");
    s.reading_at.clear();
}

void stop_with(State& s, std::initializer_list<Item> items) {
    say_where(s);
    list_write(messages(s), items);
    stop(s);
}

void stop(State&) { throw StopRun{1}; }

void stop_text(State& s, std::string_view text) {
    s.err.put("STOP ");
    s.err.put(text);
    s.err.end_record();
    throw StopRun{1};
}

}  // namespace tacsim
