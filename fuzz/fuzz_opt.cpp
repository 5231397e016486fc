// Fuzz target for the options file reader. The options file is read after
// the biological file, so the input is tried against each of three valid
// stocks (the reference cases "basic", "full" and "rules"), each in its own
// directory that also holds the initial-stock files, the historical catch
// file and "srspec". The reference cases' own files are used where they have
// them; the others are made up for the stock's ages.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_common.hpp"
#include "io/input.hpp"

using namespace tacsim;

namespace {

const char* const kCases[] = {"basic", "full", "rules"};
std::string g_root;

bool has_golden(const std::string& rel) {
    return access((std::string(TACSIM_SOURCE_DIR) + "/tests/golden/data/" + rel).c_str(), R_OK) == 0;
}

// Initial-stock and catch files that fit the ages and first year of `s`.
void make_up_files(const State& s, const std::string& c) {
    std::string inn, num, obs, canum = "# catch numbers at age\n";
    for (int a = s.firstage; a <= s.lastage; ++a) {
        const std::string lead = std::to_string(a) + " " + std::to_string(1000 - 50 * a);
        inn += lead;
        for (int k = s.firstage; k <= s.lastage; ++k) inn += k == a ? " 0.3" : (k == a + 1 || k == a - 1 ? " 0.2" : " 0");
        inn += "\n";
        num += lead + " 0.1\n";
        obs += lead + "\n";
    }
    for (int j = 1; j <= s.firstage; ++j) {
        inn += "500\n";
        num += "500\n";
        obs += "500\n";
    }
    for (int y = s.year0 - 16; y < s.year0; ++y) {
        canum += std::to_string(y);
        for (int a = s.firstage; a <= s.lastage; ++a) canum += " " + std::to_string(100 + a);
        canum += "\n";
    }
    if (!has_golden(c + "/nin.inn")) fuzzsupport::write_file("nin.inn", inn);
    if (!has_golden(c + "/nin.obs")) fuzzsupport::write_file("nin.obs", obs);
    if (!has_golden(c + "/canum.inn")) fuzzsupport::write_file("canum.inn", canum);
    fuzzsupport::write_file("nin.num", num);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_root = fuzzsupport::enter_scratch_dir();
    for (const char* c : kCases) {
        const std::string dir = g_root + "/" + c;
        if (mkdir(dir.c_str(), 0700) != 0 || chdir(dir.c_str()) != 0) std::abort();
        for (const char* f : {"bio.inn", "nin.inn", "nin.obs", "canum.inn", "srspec"}) {
            const std::string rel = std::string(c) + "/" + f;
            if (has_golden(rel)) fuzzsupport::write_file(f, fuzzsupport::golden(rel));
        }
        fuzzsupport::FreshState fresh;
        State& s = fresh.make();
        getpopinn(s);  // a valid file: any stop here is a fault of the set-up
        make_up_files(s, c);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzzsupport::FreshState fresh;
    for (const char* c : kCases) {
        if (chdir((g_root + "/" + c).c_str()) != 0) std::abort();
        fuzzsupport::write_file("opt.inn", reinterpret_cast<const char*>(data), size);
        State& s = fresh.make();
        getpopinn(s);
        try {
            getoptinn(s);
        } catch (const StopRun&) {
        } catch (const RecordError&) {
        }
    }
    return 0;
}
