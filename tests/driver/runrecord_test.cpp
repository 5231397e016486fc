// The record of a run: file digests, the input files named, the time stamps.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "driver/runrecord.hpp"

namespace tacsim {
namespace {

TEST(RunRecord, Sha256OfAFile) {
    const auto p = std::filesystem::temp_directory_path() / ("tacsim-sha-" + std::to_string(::getpid()));
    std::ofstream(p, std::ios::binary) << "abc";
    EXPECT_EQ(sha256_file(p.string()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    std::ofstream(p, std::ios::binary) << "";
    EXPECT_EQ(sha256_file(p.string()), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    std::filesystem::remove(p);
    EXPECT_EQ(sha256_file(p.string()), "");
}

TEST(RunRecord, InputFilesTheRunReads) {
    auto state = make_state();
    State& s = *state;
    s.biofile = "bio.inn";
    s.optfile = "opt.inn";
    s.canumfile = "canum.inn ";
    s.opt0 = 1;
    EXPECT_EQ(input_files(s), (std::vector<std::string>{"bio.inn", "opt.inn"}));
    s.nreg = 2;
    s.srflag(2) = 1;
    s.opt0 = 4;
    s.minbyr = -3;
    EXPECT_EQ(input_files(s), (std::vector<std::string>{"bio.inn", "opt.inn", "srspec", "nin.obs", "canum.inn"}));
}

TEST(RunRecord, TimesAreUtcIso8601) {
    EXPECT_TRUE(std::regex_match(utc_now(), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"))) << utc_now();
}

}  // namespace
}  // namespace tacsim
