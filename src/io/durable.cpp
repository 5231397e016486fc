#include "io/durable.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace tacsim {

namespace {

std::string reason(int err) { return std::strerror(err); }

std::string folder_of(const std::string& path) {
    const std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
}

}  // namespace

bool sync_path(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // Some file systems cannot sync a folder; that is no failure of ours.
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    ::close(fd);
    return ok;
}

bool write_whole(const std::string& path, std::string_view text, std::string* why) {
    const std::filesystem::path p(path);
    const std::string tmp = (p.parent_path() / ("." + p.filename().string() + ".part")).string();
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (why != nullptr) *why = reason(errno);
        return false;
    }
    const char* at = text.data();
    std::size_t left = text.size();
    int err = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    if (err == 0 && ::fsync(fd) != 0 && errno != EINVAL) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(tmp.c_str());
        if (why != nullptr) *why = reason(err);
        return false;
    }
    sync_path(folder_of(path));
    return true;
}

}  // namespace tacsim
