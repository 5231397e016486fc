#include "report/samples.hpp"

#include "results/tables.hpp"

namespace tacsim::report {

void sample_header(std::string& b) { b.append("set,iteration,year,ssb,tsb,f,catch,tac,recruitment\n"); }

void sample_rows(const State& s, long long set, std::string& b) {
    for (int it = 1; it <= sample_count && it <= maxiter; ++it) {
        for (int y = 0; y <= maxyear; ++y) {
            putint(b, set);
            b.push_back(',');
            putint(b, it);
            b.push_back(',');
            putint(b, s.year0 + y);
            for (const ResArr* a : {&s.ssbres, &s.tsbres, &s.fres, &s.catchres, &s.tacres, &s.recres}) {
                b.push_back(',');
                putnum(b, (*a)(y, it));
            }
            b.push_back('\n');
        }
    }
}

bool SampleTable::open(const std::string& path, const std::string& where) {
    path_ = path;
    if (!out_.open(path, where)) return false;
    std::string h;
    sample_header(h);
    out_.put(h);
    return true;
}

void SampleTable::endset(const State& s, long long set) {
    rows_.clear();
    sample_rows(s, set, rows_);
}

void SampleTable::commit(OutFile* console) {
    if (!out_.is_open()) return;
    out_.put(rows_);
    rows_.clear();
    out_.flush(console);
}

void SampleTable::close(OutFile* console) {
    if (out_.is_open()) out_.close(console);
}

}  // namespace tacsim::report
