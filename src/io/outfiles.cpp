// The output files: each has a fixed unit number and name and is written only
// when its switch is 1. Summary files get the rule's column heading once per
// run; the per-set files get the option labels and values of every option set
// (headings, labels and layouts come from the rule's description).
#include "io/outfiles.hpp"

#include <array>

#include "management/rulebook.hpp"

namespace tacsim {

std::string unit_file_name(const State& s, int k) {
    return (k == 12) ? s.unit12name : std::string(unit_file(k));
}

const char* unit_file(int k) { return legacy_files[k - 11].name; }

std::string summary_file(const State& s) {
    return "Years" + format_int(s.sumyr1, 2) + "_" + format_int(s.sumyr2, 2);
}

void prepfiles(State& s) {
    if (s.iout(12) == 1) s.unit12name = summary_file(s);
    for (const LegacyFile& f : legacy_files) {
        const int k = f.unit;
        if (!switched(f) || s.iout(k) != 1) continue;
        const std::string name = out_path(s, unit_file_name(s, k));
        if (s.holdfiles)
            s.unit(k).hold(name);
        else if (!s.unit(k).open(name, write_path(s, unit_file_name(s, k))))
            stop_with(s, {"Cannot open output file ", name});
    }
    const HarvestRule* rule = run_rule(s);
    if (rule == nullptr) return;
    for (const LegacyFile& f : legacy_files) {
        if (f.kind == FileKind::summary && s.iout(f.unit) == 1)
            list_write(s.unit(f.unit), {rule->desc.summary_heading});
    }
}

void header(State& s, int u) {
    const HarvestRule* rule = run_rule(s);
    if (rule == nullptr) return;
    OutFile& out = s.unit(u);
    list_write(out, {rule->desc.label_line});

    // At most ten rule parameters, then 11..16 and 18..23: on the stack, as
    // the header is written again for every option set.
    std::array<Item, 22> values{};
    std::size_t nv = 0;
    for (int i = 1; i <= rule->nparams() && i <= 10; ++i) values[nv++] = Item(s.par(i));
    for (int i = 11; i <= 16; ++i) values[nv++] = Item(s.par(i));
    for (int i = 18; i <= 23; ++i) values[nv++] = Item(s.par(i));
    fmt_write(out, rule->option_layout, std::span<const Item>(values.data(), nv));

    list_write(out, std::span<const Item>());
    if (const char* col = legacy_files[u - 11].columns) list_write(out, {col});
}

void closefiles(State& s) {
    for (const LegacyFile& f : legacy_files) {
        if (!switched(f) || f.kind == FileKind::per_recruit) continue;
        if (s.iout(f.unit) == 1 && s.unit(f.unit).is_open()) s.unit(f.unit).close(&s.con);
    }
}

}  // namespace tacsim
