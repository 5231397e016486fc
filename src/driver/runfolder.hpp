// The results folder of one run or tuning, from its claim to its end.
//
// A run with options makes its result files in a staging folder inside the
// results folder and moves them into place when it ends: a run that stops
// before its first option set leaves the folder exactly as it found it, and
// a reader never meets a result file that is still being written. The
// argument-less run makes its files in place, one after the other as it
// always has (the scratch file first), and they stay whatever the end.
// Either way the finished files and the folder are handed to the disk at
// the end, so a power loss right after the run loses nothing.
#pragma once

#include <string>
#include <vector>

namespace tacsim {

// Name of the staging folder inside a results folder.
inline constexpr const char* kStagingFolder = ".tacsim-partial";

class RunFolder {
public:
    // `folder`: the results folder (empty: the working folder); `in_place`:
    // the files are made in the folder itself.
    RunFolder(std::string folder, bool in_place);
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    // Creates the folder when missing and locks it for the length of the run,
    // so that a second run into it is refused instead of mixing its records
    // into this one's files. False, with the message in `why`, when it cannot.
    bool claim(std::string& why);
    // Before the first result file: a fresh staging folder (whatever an
    // earlier run that ended without a word left there), whose path is
    // returned; empty when the files are made in place. False, with the
    // message in `why`, when it cannot be made.
    bool stage(std::string& stagedir, std::string& why);
    // The run has begun its first option set: its files are kept at any end.
    void keep() { keep_ = true; }
    bool kept() const { return keep_ || in_place_; }

    // The end of a run that is kept: every staged file is handed to the disk
    // and moved over the file of its name in the folder; files made in place
    // (`names`, as named in the folder) are handed to the disk; then the
    // folder itself. False, with the message in `why`, on a failure.
    bool publish(const std::vector<std::string>& names, std::string& why);
    // The end of a run that is not kept: the staged files are removed, and
    // the folder too when this run made it and it is empty.
    void discard();

    // The folder as messages name it.
    std::string shown() const;
    // Path of a file in the results folder.
    std::string path(const std::string& name) const;

private:
    std::string folder_, staging_;
    bool in_place_;
    bool keep_ = false;
    int lock_fd_ = -1;
    std::vector<std::string> made_;  // folders this run created, outermost first
};

}  // namespace tacsim
