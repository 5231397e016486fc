#include "driver/newstock.hpp"

#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/platform.hpp"

namespace tacsim {

// The bundled example's inputs, built into the program (cmake/embed_text.cmake).
namespace example {
extern const std::string_view bio_inn;
extern const std::string_view opt_inn;
}  // namespace example

namespace {

namespace fs = std::filesystem;

// A folder name as a shell command needs it.
std::string quoted(const std::string& s) {
    if (s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./+") ==
        std::string::npos)
        return s;
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Writes a new file; false when it exists already or cannot be written.
bool write_new(const fs::path& path, std::string_view text) {
    std::FILE* f = platform::create_new_file(path.string());
    if (f == nullptr) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0) ok = false;
    if (!ok) std::remove(path.string().c_str());
    return ok;
}

}  // namespace

int new_stock(const std::string& dir, std::FILE* out, std::FILE* err) {
    const fs::path folder(dir);
    // What a run reads: a folder with any of these is somebody's stock.
    for (const char* name : {"bio.inn", "opt.inn", "nin.inn", "nin.num", "nin.obs", "canum.inn", "srspec"}) {
        std::error_code ec;
        if (fs::exists(folder / name, ec)) {
            std::fprintf(err, "tacsim new: %s already holds inputs (%s); give a new folder\n", dir.c_str(), name);
            return 1;
        }
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder)) {
        std::fprintf(err, "tacsim new: cannot create the folder %s\n", dir.c_str());
        return 1;
    }
    if (!write_new(folder / "bio.inn", example::bio_inn)) {
        std::fprintf(err, "tacsim new: cannot write %s\n", (folder / "bio.inn").c_str());
        return 1;
    }
    if (!write_new(folder / "opt.inn", example::opt_inn)) {
        std::fprintf(err, "tacsim new: cannot write %s\n", (folder / "opt.inn").c_str());
        fs::remove(folder / "bio.inn", ec);
        return 1;
    }
    const std::string d = quoted(dir);
    std::fprintf(out,
                 "Wrote bio.inn (the stock's biology) and opt.inn (the management options to test) into %s:\n"
                 "the bundled example, a cod stock, with every line commented. Describe your stock there, then:\n"
                 "  tacsim --check %s    # read and check the inputs, say what a run would do\n"
                 "  tacsim --report %s   # run; the results and report.html go into the same folder\n"
                 "  tacsim tune --option Target --risk 5%% %s   # the highest Target with risk3 at or below 5 %%\n",
                 dir.c_str(), d.c_str(), d.c_str(), d.c_str());
    return 0;
}

}  // namespace tacsim
