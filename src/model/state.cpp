#include "model/state.hpp"

namespace tacsim {

std::unique_ptr<State> make_state() { return std::make_unique<State>(); }

void stop_with(State& s, std::initializer_list<Item> items) {
    list_write(s.con, items);
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
