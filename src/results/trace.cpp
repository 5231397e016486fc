// Trace files of single iterations: decision basis against the true basis
// (compbas), stock-recruitment pairs (SRpairs), weights and maturities
// (Wema), true against perceived recruitment (Comprecr).
#include <string>

#include "records/records.hpp"
#include "management/management.hpp"
#include "results/itembuf.hpp"
#include "results/results.hpp"

namespace tacsim {

namespace {

void emptyrecord(OutFile& out) { list_write(out, std::span<const Item>()); }

// Row layout of compbas: the year, then one group of two blanks and the
// true and used value per basis element.
std::string baslayouttext(int nbasis) {
    std::string t = "(i4,x(2x,2f10.3))";
    t[4] = (nbasis >= 0 && nbasis <= 9) ? static_cast<char>('0' + nbasis) : '*';
    return t;
}

const Layout& baslayout(int nbasis) {
    static const Layout lays[maxbasis] = {Layout(baslayouttext(1)), Layout(baslayouttext(2)),
                                          Layout(baslayouttext(3)), Layout(baslayouttext(4)),
                                          Layout(baslayouttext(5))};
    return lays[nbasis - 1];
}

// One Wema block: title, age heading, a row per year 0..40.
void wemablock(State& s, const char* title, const char* heading, const YearAge& v) {
    OutFile& out = s.unit(25);
    list_write(out, {title});
    ItemBuf<maxage + 3> items;
    items.add(heading);
    for (int a = s.firstage; a <= s.lastage; ++a) items.add(a);
    list_write(out, items.span());
    for (int y = 0; y <= maxyear; ++y) {
        items.clear();
        items.add("         ");
        items.add(y);
        for (int a = s.firstage; a <= s.lastage; ++a) items.add(v(y, a));
        list_write(out, items.span());
    }
    emptyrecord(out);
}

}  // namespace

void printbas(State& s, const NHistArr& nhist) {
    compbasis(s, nhist);
    OutFile& out = s.unit(19);
    list_write(out, {"Iteration", s.iter});
    const int nb = s.nbasis;
    ItemBuf<1 + 2 * maxbasis> items;
    auto rows = [&](const Layout& lay, int shown) {
        for (int y = 0; y <= maxyear; ++y) {
            items.clear();
            items.add(y);
            for (int k = 1; k <= shown; ++k) {
                items.add(s.truebas(k, y));
                items.add(s.basisres(y, k, s.iter));
            }
            fmt_write(out, lay, items.span());
        }
    };
    if (nb >= 1 && nb <= maxbasis) {
        rows(baslayout(nb), nb);
    } else {
        // A basis count the options never let through: years only.
        rows(Layout(baslayouttext(nb)), 0);
    }
}

void printsr(State& s, const NHistArr& nhist) {
    static const Layout row("(2i5,2f10.0)");
    OutFile& out = s.unit(20);
    for (int y = s.firstage + 1; y <= maxyear; ++y) {
        fmt_write(out, row, {s.iter, y, s.ssbres(y - s.firstage, s.iter), nhist(0, y)});
    }
}

void printwema(State& s) {
    OutFile& out = s.unit(25);
    list_write(out, {"Iteration number", s.iter});
    emptyrecord(out);
    wemablock(s, "Catch weights", "Age/Year ", s.wecayr);
    wemablock(s, "Stock weights", "Age/Year ", s.westyr);
    wemablock(s, "Maturities", "Age/Year  ", s.maturyr);
}

void printrecr(State& s) {
    static const Layout row("(2i6,2f12.1)");
    OutFile& out = s.unit(26);
    for (int y = 1; y <= maxyear; ++y) fmt_write(out, row, {s.iter, y, s.recres(y, s.iter), s.precres(y, s.iter)});
}

}  // namespace tacsim
