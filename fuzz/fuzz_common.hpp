// Shared set-up of the reader fuzz targets: a private scratch working
// directory and standard output and error streams that go nowhere.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <string>

#include "model/state.hpp"

#ifndef TACSIM_SOURCE_DIR
#error "TACSIM_SOURCE_DIR must name the source tree"
#endif

namespace fuzzsupport {

inline std::string slurp(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    if (!f) {
        std::fprintf(stderr, "fuzz: cannot read %s\n", name.c_str());
        std::abort();
    }
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

inline void write_file(const std::string& name, const char* data, std::size_t size) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

inline void write_file(const std::string& name, const std::string& text) {
    write_file(name, text.data(), text.size());
}

inline std::string golden(const std::string& rel) {
    return slurp(std::string(TACSIM_SOURCE_DIR) + "/tests/golden/data/" + rel);
}

// Creates a private scratch directory and makes it the working directory.
inline std::string enter_scratch_dir() {
    char tmpl[] = "/tmp/tacsim_fuzz_XXXXXX";
    if (mkdtemp(tmpl) == nullptr || chdir(tmpl) != 0) std::abort();
    return tmpl;
}

inline std::FILE* devnull() {
    static std::FILE* f = std::fopen("/dev/null", "wb");
    if (f == nullptr) std::abort();
    return f;
}

// A fresh model state (zero or blank, as make_state() gives it) whose
// messages go nowhere. The state is a few megabytes; it is built anew in the
// same storage for every input, because giving such a block back to the
// address sanitizer and taking a new one costs ten times more than the read.
class FreshState {
public:
    FreshState() : mem_(::operator new(sizeof(tacsim::State))) {}
    ~FreshState() {
        drop();
        ::operator delete(mem_);
    }
    FreshState(const FreshState&) = delete;
    FreshState& operator=(const FreshState&) = delete;

    tacsim::State& make() {
        drop();
        s_ = new (mem_) tacsim::State();
        s_->con.attach(devnull(), "standard output");
        s_->err.attach(devnull(), "error stream");
        s_->biofile = "bio.inn";
        s_->optfile = "opt.inn";
        s_->canumfile = "canum.inn";
        return *s_;
    }

private:
    void drop() {
        if (s_ != nullptr) s_->~State();
        s_ = nullptr;
    }
    void* mem_;
    tacsim::State* s_ = nullptr;
};

}  // namespace fuzzsupport
