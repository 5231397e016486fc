// The platform layer on POSIX systems (Linux, macOS, ...).
#ifndef _WIN32

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>
#include <csignal>
#include <cstring>
#include <memory>

#include "platform/platform.hpp"

namespace tacsim::platform {

FolderLock::Outcome FolderLock::lock(const std::string& folder, bool shared) {
    release();
    // The lock lives on the folder itself, so no file is left behind.
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Outcome::unavailable;
    if (::flock(fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? Outcome::busy : Outcome::unavailable;
    }
    handle_ = fd;
    return Outcome::locked;
}

std::string FolderLock::handle_path() const {
    if (handle_ < 0) return {};
    const std::string p = "/proc/self/fd/" + std::to_string(handle_);
    struct stat by_handle {}, by_path {};
    // Only where the system resolves the handle's path to the folder itself.
    if (::stat(p.c_str(), &by_path) != 0 || ::fstat(static_cast<int>(handle_), &by_handle) != 0) return {};
    if (by_path.st_dev != by_handle.st_dev || by_path.st_ino != by_handle.st_ino) return {};
    return p;
}

void FolderLock::release() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

double free_cores() {
    const double cores = std::max(1u, std::thread::hardware_concurrency());
    double load[1] = {0.0};
    if (::getloadavg(load, 1) != 1) return cores;
    return std::max(0.0, cores - load[0]);
}

bool sync_path(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // Some file systems cannot sync a folder; that is no failure of ours.
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    ::close(fd);
    return ok;
}

bool sync_stream(std::FILE* f) { return ::fsync(::fileno(f)) == 0 || errno == EINVAL || errno == EROFS; }

bool replace_file(const std::string& from, const std::string& to, std::string* why) {
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    if (why != nullptr) *why = std::strerror(errno);
    return false;
}

bool cut_file(std::FILE* f, std::int64_t size) {
    return ::ftruncate(::fileno(f), static_cast<off_t>(size)) == 0 &&
           ::fseeko(f, static_cast<off_t>(size), SEEK_SET) == 0;
}

bool is_terminal(std::FILE* f) { return f != nullptr && ::isatty(::fileno(f)) == 1; }

void utc_time(std::time_t t, std::tm& out) { gmtime_r(&t, &out); }

std::FILE* create_new_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, "wb");
    if (f == nullptr) ::close(fd);
    return f;
}

const char* null_device() { return "/dev/null"; }

void watch_interruptions(void (*note)(int)) {
    struct sigaction sa {};
    sa.sa_handler = note;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
}

void binary_standard_streams() {}

bool sha256_file(const std::string& path, std::array<unsigned char, 32>& digest) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) return false;
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return false;
    unsigned char buf[1 << 15];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f.get())) > 0;) {
        if (EVP_DigestUpdate(ctx.get(), buf, n) != 1) return false;
    }
    if (std::ferror(f.get())) return false;
    unsigned int len = 0;
    return EVP_DigestFinal_ex(ctx.get(), digest.data(), &len) == 1 && len == digest.size();
}

}  // namespace tacsim::platform

#endif
