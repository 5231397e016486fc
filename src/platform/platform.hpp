// What differs between the operating systems the program runs on (POSIX
// systems and Windows), in one place: the folder lock, flushing files to the
// disk, replacing a file, cutting a file back, terminals, the null device,
// interruptions by the user and SHA-256. posix.cpp and windows.cpp each
// implement all of it; the build compiles the one of its system.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace tacsim::platform {

// A lock on a folder, exclusive (a run writing into it) or shared (readers
// of its tables), held until release() or the end of the process (also when
// the process is killed).
class FolderLock {
public:
    enum class Outcome {
        locked,       // ours now
        busy,         // another process holds it
        unavailable,  // cannot be taken here (a file system without locks)
    };
    FolderLock() = default;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock() { release(); }
    Outcome lock(const std::string& folder, bool shared = false);
    void release();
    // A path that reaches the locked folder through the lock's handle, not
    // its name: a folder removed and made anew under the same name while
    // the lock is held gets nothing written through it. Empty where the
    // system offers no such path or nothing is locked.
    std::string handle_path() const;

private:
    std::intptr_t handle_ = -1;
};

// The processor cores of the machine that other programs leave free now
// (the cores less the load of the last minute); all cores where the system
// does not tell its load.
double free_cores();

// Writes what the system holds of a file (or a folder, where the system can)
// to the disk; true when done or when the file system has no such thing.
bool sync_path(const std::string& path);
// The same for an open stream, after its buffer has been flushed.
bool sync_stream(std::FILE* f);

// Renames `from` to `to`, replacing `to` if it exists, in one step where the
// system allows it. On failure false and the system's reason in `why`.
bool replace_file(const std::string& from, const std::string& to, std::string* why = nullptr);

// Cuts an open file back to `size` bytes and puts its position there.
bool cut_file(std::FILE* f, std::int64_t size);

bool is_terminal(std::FILE* f);

// A new file open for writing bytes; null when it exists already or cannot
// be made.
std::FILE* create_new_file(const std::string& path);

// The calendar time of `t` in UTC (thread-safe).
void utc_time(std::time_t t, std::tm& out);

// The name of the device that swallows what is written to it.
const char* null_device();

// Calls `note` (from a signal handler or the console's handler thread, so it
// may only store a number) with 2 (SIGINT) for Ctrl-C, 15 (SIGTERM) and 1
// (SIGHUP) for the termination and hang-up signals where the system has them.
void watch_interruptions(void (*note)(int));

// Standard output and error as bytes, with no translation of line ends.
void binary_standard_streams();

// The SHA-256 digest of a file's bytes; false when the file cannot be read.
bool sha256_file(const std::string& path, std::array<unsigned char, 32>& digest);

}  // namespace tacsim::platform
