// Runs the tacsim executable on a copy of an input folder and collects what
// it wrote. Used by the reference-run and end-to-end tests.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tacsim_test {

namespace fs = std::filesystem;

inline std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

struct RunResult {
    fs::path dir;
    int status = -1;
    std::string out, err;
};

// Copies the regular files of `inputs` into a fresh folder named after `tag`
// and runs the program there, with the command-line arguments `args`.
inline RunResult run_in_copy(const fs::path& inputs, const std::string& tag, const std::string& args = "") {
    RunResult r;
    r.dir = fs::temp_directory_path() / ("tacsim-test-" + tag + "-" + std::to_string(::getpid()));
    fs::remove_all(r.dir);
    fs::create_directories(r.dir);
    for (const auto& e : fs::directory_iterator(inputs))
        if (e.is_regular_file()) fs::copy_file(e.path(), r.dir / e.path().filename());
    const std::string cmd = "cd '" + r.dir.string() + "' && '" + std::string(TACSIM_EXE) + "' " + args +
                            " > stdout.txt 2> stderr.txt";
    const int rc = std::system(cmd.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = read_file(r.dir / "stdout.txt");
    r.err = read_file(r.dir / "stderr.txt");
    return r;
}

}  // namespace tacsim_test
