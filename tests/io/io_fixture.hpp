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

#include "driver/state.hpp"

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
        std::fflush(out_);
        std::fseek(out_, seen_, SEEK_SET);
        std::string all;
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, out_)) > 0;) all.append(buf, n);
        seen_ = std::ftell(out_);
        std::fseek(out_, 0, SEEK_END);  // before the stream is written again
        return split_records(all);
    }
    static std::vector<std::string> split_records(const std::string& all) {
        std::vector<std::string> lines;
        std::size_t at = 0;
        while (at < all.size()) {
            std::size_t e = all.find("\r\n", at);
            if (e == std::string::npos) {
                lines.push_back(all.substr(at));
                break;
            }
            lines.push_back(all.substr(at, e - at));
            at = e + 2;
        }
        return lines;
    }

    // Runs a reader; returns the exit status it would end the run with (0 when
    // it returns normally, 2 for a record-reading failure).
    template <class F>
    int status_of(F&& f) {
        try {
            f(*s_);
        } catch (const StopRun& st) {
            return st.status;
        } catch (const RecordError& e) {
            last_error_ = e.what();
            return 2;
        }
        return 0;
    }

    std::filesystem::path old_, dir_;
    std::unique_ptr<State> s_;
    std::FILE* out_ = nullptr;
    long seen_ = 0;
    std::string last_error_;
};

}  // namespace tacsim::testing
