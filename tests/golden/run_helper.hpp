// Runs the tacsim executable on a copy of an input folder and collects what
// it wrote. Used by the reference-run and end-to-end tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tacsim_test {

namespace fs = std::filesystem;

inline std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

// Folders the tests made in the temporary folder; removed at the end when
// every test passed (kept for a look otherwise).
inline std::vector<fs::path>& made_dirs() {
    static std::vector<fs::path> dirs;
    return dirs;
}
class RemoveRunFolders : public ::testing::Environment {
public:
    void TearDown() override {
        if (!::testing::UnitTest::GetInstance()->Passed()) return;
        for (const auto& d : made_dirs()) {
            std::error_code ec;
            fs::remove_all(d, ec);
        }
    }
};
inline const bool kRemoveRunFoldersRegistered =
    (::testing::AddGlobalTestEnvironment(new RemoveRunFolders), true);

// An empty folder "tacsim-test-TAG-PID" in the temporary folder, removed with
// the others at the end.
inline fs::path fresh_dir(const std::string& tag) {
    const fs::path dir = fs::temp_directory_path() / ("tacsim-test-" + tag + "-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    made_dirs().push_back(dir);
    return dir;
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
    r.dir = fresh_dir(tag);
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

// Runs the program with `args` in the folder `cwd`; standard output and the
// error stream are captured in files beside that folder, so that it holds
// only what the program wrote.
inline RunResult run_with(const fs::path& cwd, const std::vector<std::string>& args) {
    RunResult r;
    r.dir = cwd;
    const fs::path out = cwd.string() + ".stdout", err = cwd.string() + ".stderr";
    made_dirs().push_back(out);
    made_dirs().push_back(err);
    std::string cmd = "cd '" + cwd.string() + "' && '" + std::string(TACSIM_EXE) + "'";
    for (const auto& a : args) cmd += " '" + a + "'";
    cmd += " > '" + out.string() + "' 2> '" + err.string() + "'";
    const int rc = std::system(cmd.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = read_file(out);
    r.err = read_file(err);
    return r;
}

}  // namespace tacsim_test
