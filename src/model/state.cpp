#include "model/state.hpp"

#include <filesystem>

namespace tacsim {

std::unique_ptr<State> make_state() { return std::make_unique<State>(); }

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
