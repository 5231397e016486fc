// Per-iteration detail of an option set: the initial-SSB and F
// distributions, the trajectories of the first iterations and the recovery
// table.
#include "records/records.hpp"
#include "results/itembuf.hpp"
#include "results/results.hpp"

namespace tacsim {

namespace {

constexpr int trajiters = 20;  // iterations written to Traj
constexpr int horizons = 5;    // recovery horizons in years

void emptyrecord(OutFile& out) { list_write(out, std::span<const Item>()); }

}  // namespace

void writedistr(State& s) {
    static const Layout s0row("(i5,f10.0)");
    static const Layout frow("(2i5,2f7.3)");
    const bool s0 = s.iout(16) == 1, fd = s.iout(17) == 1;
    if (!s0 && !fd) return;
    for (int i = 1; i <= s.nsim; ++i) {
        if (s0) fmt_write(s.unit(16), s0row, {i, s.ssbres(0, i)});
        if (fd) {
            for (int y = 0; y <= maxyear; ++y) fmt_write(s.unit(17), frow, {i, y, s.fdecres(y, i), s.fres(y, i)});
        }
    }
}

void writetraj(State& s) {
    if (s.iout(15) != 1) return;
    static const Layout l41("(a10,i5,41f10.0)");
    static const Layout l41d("(a10,i5,41f10.3)");
    static const Layout l40("(a10,i5,10x,40f10.1)");
    OutFile& out = s.unit(15);
    ItemBuf<44> items;
    // A row of one result array over years 0..40.
    auto yearrow = [&](const char* label, int i, const ResArr& a, const Layout& lay) {
        items.clear();
        items.add(label);
        items.add(i);
        for (int y = 0; y <= maxyear; ++y) items.add(a(y, i));
        fmt_write(out, lay, items.span());
    };
    for (int i = 1; i <= trajiters && i <= s.nsim; ++i) {
        yearrow("TAC       ", i, s.tacres, l41);

        items.clear();
        items.add("Decis_Bas ");
        items.add(i);
        for (int y = 0; y <= maxyear; ++y) items.add(s.basisres(y, 1, i));
        fmt_write(out, l41, items.span());

        items.clear();
        items.add("TACchange ");
        items.add(i);
        for (int y = 1; y <= maxyear; ++y) {
            const float t0 = s.tacres(y - 1, i), t1 = s.tacres(y, i);
            items.add(t0 > 0.0f ? 100.0f * (t1 - t0) / t0 : -999.0f);
        }
        fmt_write(out, l40, items.span());

        yearrow("True_bas  ", i, s.ssbres, l41);
        yearrow("True_F    ", i, s.fres, l41d);
        yearrow("Recruits  ", i, s.recres, l41);

        // Surplus production: growth of the total stock plus the TAC taken.
        items.clear();
        items.add("Surpl_prd ");
        items.add(i);
        for (int y = 0; y <= maxyear - 1; ++y) items.add(s.tsbres(y + 1, i) - s.tsbres(y, i) + s.tacres(y, i));
        fmt_write(out, l41, items.span());

        emptyrecord(out);
    }
}

void recovery(const State& s, Horizons& drops, Horizons& recoveries) {
    const float blim = s.blim;
    for (int k = 1; k <= horizons; ++k) {
        drops(k) = 0;
        recoveries(k) = 0;
        for (int i = 1; i <= s.nsim; ++i) {
            for (int y = 1; y <= maxyear - k; ++y) {
                if (!(s.ssbres(y - 1, i) >= blim && s.ssbres(y, i) < blim)) continue;
                ++drops(k);
                for (int j = 1; j <= k; ++j) {
                    if (s.ssbres(y + j, i) > blim) {
                        ++recoveries(k);
                        break;
                    }
                }
            }
        }
    }
}

void writerecovery(State& s) {
    if (s.iout(27) != 1) return;
    static const Layout head("(a31,5i10)");
    static const Layout row("(a32,5f10.0)");
    Horizons drops, rec;
    recovery(s, drops, rec);
    float pct[horizons + 1] = {};
    for (int k = 1; k <= horizons; ++k) {
        pct[k] = drops(k) > 0 ? 100.0f * static_cast<float>(rec(k)) / static_cast<float>(drops(k)) : 0.0f;
    }
    OutFile& out = s.unit(27);
    fmt_write(out, head, {"Number (i) of years to recovery", 1, 2, 3, 4, 5});
    fmt_write(out, row,
              {"Number of drops below Blim      ", static_cast<float>(drops(1)), static_cast<float>(drops(2)),
               static_cast<float>(drops(3)), static_cast<float>(drops(4)), static_cast<float>(drops(5))});
    fmt_write(out, row, {"Percent recovery by year i      ", pct[1], pct[2], pct[3], pct[4], pct[5]});
    emptyrecord(out);
}

}  // namespace tacsim
