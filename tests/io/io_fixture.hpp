// A scratch working directory for the input and output-file tests: input
// files are written into it, the readers run there, and what they write on
// standard output is captured.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "model/state.hpp"
#include "support/capture.hpp"

namespace tacsim::testing {

class ScratchDir : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/tacsim_io_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        s_ = make_state();
        out_ = std::tmpfile();
        s_->con.attach(out_, "standard output");
        s_->biofile = "bio.inn";
        s_->optfile = "opt.inn";
        s_->canumfile = "canum.inn";
    }
    void TearDown() override {
        s_.reset();
        if (out_) std::fclose(out_);
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }

    static void write(const std::string& name, const std::string& text) {
        std::ofstream f(name, std::ios::binary);
        f << text;
    }
    static std::string slurp(const std::string& name) {
        std::ifstream f(name, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    static bool exists(const std::string& name) { return std::filesystem::exists(name); }

    // The records written on standard output since the previous call.
    std::vector<std::string> console() {
        s_->con.flush();
        const std::string all = read_from(out_, seen_);
        seen_ = std::ftell(out_);
        return split_records(all);
    }

    // Runs a reader; returns the exit status it would end the run with (0 when
    // it returns normally, 2 for a record-reading failure).
    template <class F>
    int status_of(F&& f) {
        return testing::status_of(*s_, f, &last_error_);
    }

    std::filesystem::path old_, dir_;
    std::unique_ptr<State> s_;
    std::FILE* out_ = nullptr;
    long seen_ = 0;
    std::string last_error_;
};

}  // namespace tacsim::testing
